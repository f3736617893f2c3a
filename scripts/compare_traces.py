#!/usr/bin/env python3
"""Compares what a Windows run of one scenario shows with what the Linux build's run of it
shows: where the host records the module's DirectSound and file calls on their way to the
system, against where our platform layer reports them. Called by scripts/wine_tests.sh for
each scenario it runs under Wine.

Usage: compare_traces.py WINDOWS.trace LINUX.trace         (`cuebox run --trace`)
       compare_traces.py --printed WINDOWS.out LINUX.out   (`cuebox run`, its lines)
       compare_traces.py --timeline WINDOWS.svg LINUX.svg  (`cuebox run --timeline`)

Traces: kept is what the module read and wrote, each INI value it read (and whether from the
file), each file it opened and whether it was found, its device, each buffer made, played, stopped, moved, restored, lost and released, with every
field, at the update it happened in. Where a found file or INI file lies is left out (a Windows path
against a Linux one). Printed lines: the same, as the run prints them. Timelines: every mark
but the drawing of the rendered sound, whose lane says "no rendered sound" where a run made
none. Prints the first difference with both lines; exit 0 when they agree, 1 when not, 2 when
a file cannot be read.
"""
import json
import re
import sys

# Where an open led: `open NAME (via): WHERE`, WHERE being "not found" or a path of the system.
OPEN_LINE = re.compile(r"^(update .* open .* \((?:fopen|mmioOpenA)\)): (?!not found$).*$")


def module_events(path):
    events = []
    with open(path, encoding="utf-8", errors="replace") as trace:
        for number, line in enumerate(trace, 1):
            line = line.strip()
            if not line.startswith("{"):
                continue  # a line of the tool's own, not an event
            event = json.loads(line)
            if "update" not in event:
                continue
            if "resolved" in event:
                event["resolved"] = event["resolved"] is not None
            events.append((number, event))
    return events


def printed_lines(path):
    lines = []
    with open(path, encoding="utf-8", errors="replace") as out:
        for number, line in enumerate(out, 1):
            line = line.rstrip("\r\n")
            if line.startswith("update "):
                lines.append((number, OPEN_LINE.sub(r"\1: found", line)))
    return lines


def timeline_marks(path):
    with open(path, encoding="utf-8", errors="replace") as svg:
        text = svg.read()
    # The rendered sound's lane, drawn or not, goes; everything else is one mark a line.
    text = re.sub(r'<g class="waveform">.*?</g>', "", text, flags=re.S)
    marks = [(number, line) for number, line in enumerate(text.splitlines(), 1)
             if line.strip()]
    if not marks or not text.lstrip().startswith("<?xml"):
        raise ValueError(f"{path} holds no timeline")
    return marks


def summary(kind, items):
    if kind == "timeline":
        text = "\n".join(line for _, line in items)
        bars, missing = text.count('<g class="bar '), text.count("(not found)")
        return f"the same timeline ({bars} slot bars, {missing} not found)"
    return f"the same {len(items)} module {'lines' if kind == 'printed' else 'events'}"


def main():
    arguments = sys.argv[1:]
    kind = "trace"
    if arguments and arguments[0] in ("--printed", "--timeline"):
        kind = arguments.pop(0)[2:]
    if len(arguments) != 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    read = {"trace": module_events, "printed": printed_lines, "timeline": timeline_marks}[kind]
    try:
        windows, linux = (read(path) for path in arguments)
    except (OSError, ValueError) as error:
        print(f"compare_traces: {error}", file=sys.stderr)
        return 2
    if not windows or not linux:
        print(f"compare_traces: {arguments[0 if not windows else 1]} holds no module {kind}",
              file=sys.stderr)
        return 2
    show = json.dumps if kind == "trace" else str
    for (w_line, w_item), (l_line, l_item) in zip(windows, linux):
        if w_item != l_item:
            print(f"differ: Windows line {w_line}: {show(w_item)}")
            print(f"        Linux line {l_line}:   {show(l_item)}")
            return 1
    if len(windows) != len(linux):
        longer, name = (windows, "Windows") if len(windows) > len(linux) else (linux, "Linux")
        line, item = longer[min(len(windows), len(linux))]
        print(f"differ: only the {name} one goes on, line {line}: {show(item)}")
        return 1
    print(summary(kind, windows))
    return 0


if __name__ == "__main__":
    sys.exit(main())
