#!/usr/bin/env python3
"""Compares the module's events in two traces of one scenario (`cuebox run --trace`): a Windows
run's, where the host records the module's DirectSound and file calls on their way to the
system, against the Linux build's, where our platform layer reports them. Called by
scripts/wine_tests.sh for each scenario it runs under Wine.

Usage: compare_traces.py WINDOWS.trace LINUX.trace

Kept: what the module read and wrote, each file it opened and whether it was found, its
device, each buffer made, played, stopped, moved, restored, lost and released, with every
field, at the update it happened in. Left out: the INI file's reads (`profile`), which only
the Linux platform layer reports, and where a found file lies (a Windows path against a Linux
one). Prints the first difference with both lines; exit 0 when they agree, 1 when not, 2 when
a trace cannot be read.
"""
import json
import sys

LINUX_ONLY = {"profile"}


def module_events(path):
    events = []
    with open(path, encoding="utf-8", errors="replace") as trace:
        for number, line in enumerate(trace, 1):
            line = line.strip()
            if not line.startswith("{"):
                continue  # a line of the tool's own, not an event
            event = json.loads(line)
            if event.get("event") in LINUX_ONLY or "update" not in event:
                continue
            if "resolved" in event:
                event["resolved"] = event["resolved"] is not None
            events.append((number, event))
    return events


def main():
    if len(sys.argv) != 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        windows, linux = (module_events(path) for path in sys.argv[1:])
    except (OSError, ValueError) as error:
        print(f"compare_traces: {error}", file=sys.stderr)
        return 2
    for (w_line, w_event), (l_line, l_event) in zip(windows, linux):
        if w_event != l_event:
            print(f"differ: Windows line {w_line}: {json.dumps(w_event)}")
            print(f"        Linux line {l_line}:   {json.dumps(l_event)}")
            return 1
    if len(windows) != len(linux):
        longer, name = (windows, "Windows") if len(windows) > len(linux) else (linux, "Linux")
        line, event = longer[min(len(windows), len(linux))]
        print(f"differ: only the {name} trace goes on, line {line}: {json.dumps(event)}")
        return 1
    print(f"the same {len(windows)} module events")
    return 0


if __name__ == "__main__":
    sys.exit(main())
