#!/usr/bin/env python3
"""The docs' examples, run: what docs/*.md and README.md show a command print, it prints.

A fenced block is run when an HTML comment `<!-- cuebox-test ... -->` stands on the line before
it (the rendered page shows only the block). Each Markdown file gets its own simulator folder,
`~/fs9` (HOME is a fresh temporary folder), filled by its marked blocks in the order they stand:

  <!-- cuebox-test file=PATH [bom] -->    the block is written to ~/PATH (with a UTF-8 BOM)
  <!-- cuebox-test wav=PATH rate=N channels=N bits=N seconds=S|frames=N [missing=N] [tag=N] -->
                                          (no block) a PCM WAV file of silence at ~/PATH (its
                                          "data" chunk declaring N bytes more than it holds;
                                          with tag=N another format, its header holding the
                                          count of extra bytes, 0)
  <!-- cuebox-test copy=SOURCE to=PATH -->  (no block) the source tree's file SOURCE is copied
                                          to ~/PATH: a doc that shows what the example panel
                                          prints runs that panel's own files
  <!-- cuebox-test run="COMMAND" -->       the block is what COMMAND prints, as below
  <!-- cuebox-test -->                    the block's `$ ` lines are commands, run by sh in ~
                                          with `cuebox` the built one; the lines after each are
                                          what it prints (stdout, then stderr), compared line by
                                          line: a line `...` stands for any lines, a line
                                          ending in `...` for any line that starts so

The printed root (~) reads as /home/me, as the docs write it. Every JSON line of `--trace` and
every document of `--json` that a command prints is checked against the fields docs/tools.md
lists for it, so a field renamed on either side fails; together the outputs must show every
event of the trace's tables and every finding of check's (but those docs/tools.md names after
"No example here makes"). The lists of docs/tools.md that state a
rule (the code pages and their names) are tried row by row, with their boundaries.
"""

import json
import os
import re
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

MARK = re.compile(r"^<!--\s*cuebox-test\b(.*?)-->\s*$")
FENCE = re.compile(r"^(`{3,})")


def blocks(path):
    """(line, options, text) of each marked block; options of a `wav=` mark with no text."""
    lines = path.read_text(encoding="utf-8").splitlines()
    found = []
    i = 0
    while i < len(lines):
        mark = MARK.match(lines[i])
        i += 1
        if not mark:
            continue
        options = dict(o.partition("=")[::2] for o in shlex.split(mark.group(1)))
        if "wav" in options or "copy" in options:
            found.append((i, options, None))
            continue
        fence = FENCE.match(lines[i]) if i < len(lines) else None
        if not fence:
            sys.exit(f"{path}:{i}: a cuebox-test mark without a fenced block after it")
        start = i + 1
        i = start
        while i < len(lines) and not lines[i].startswith(fence.group(1)):
            i += 1
        found.append((start, options, lines[start:i]))
        i += 1
    return found


def write_wav(path, options):
    rate, channels, bits = (int(options[k]) for k in ("rate", "channels", "bits"))
    frames = int(options["frames"]) if "frames" in options else \
        int(round(rate * float(options["seconds"])))
    block = channels * bits // 8
    data = bytes(frames * block)
    declared = len(data) + int(options.get("missing", 0))  # a file cut short
    tag = int(options.get("tag", 1))
    fmt = tag.to_bytes(2, "little") + channels.to_bytes(2, "little") + \
        rate.to_bytes(4, "little") + (rate * block).to_bytes(4, "little") + \
        block.to_bytes(2, "little") + bits.to_bytes(2, "little")
    if tag != 1:
        fmt += bytes(2)  # no extra format bytes
    body = b"WAVE" + b"fmt " + len(fmt).to_bytes(4, "little") + fmt + \
        b"data" + declared.to_bytes(4, "little") + data
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(b"RIFF" + (len(body) + declared - len(data)).to_bytes(4, "little") + body)


def matches(expected, actual):
    """Whether the printed lines are the expected ones, `...` lines standing for any lines."""
    if not expected:
        return not actual
    head, rest = expected[0], expected[1:]
    if head == "...":
        return any(matches(rest, actual[k:]) for k in range(len(actual) + 1))
    if not actual:
        return False
    if head.endswith("...") and head != "...":
        same = actual[0].startswith(head[:-3])
    else:
        same = actual[0].rstrip() == head.rstrip()
    return same and matches(rest, actual[1:])


def tables(text):
    """(header cells, rows of cells) of each Markdown table of a text."""
    found, current = [], None
    for line in text.splitlines():
        if not line.startswith("|"):
            current = None
            continue
        cells = [c.strip() for c in line.strip().strip("|").split(" | ")]
        if current is None:
            current = (cells, [])
            found.append(current)
        elif not set(line) <= set("|-: "):
            current[1].append(cells)
    return found


class Schema:
    """The fields docs/tools.md lists for the trace's events and for check's JSON."""

    def __init__(self, tools_md):
        text = tools_md.read_text(encoding="utf-8")
        self.events, self.kinds = {}, set()
        for header, rows in tables(text):
            for row in rows:
                names = re.findall(r"`([a-z][a-z0-9_]*)`", row[0])
                if header[:2] == ["event", "fields"]:
                    for name in names:
                        self.events.setdefault(name, set()).update(
                            re.findall(r"`([a-z_]+)`", row[1]))
                elif header[0] in ("problem", "warning"):
                    self.kinds.update(names)
        paragraph = re.search(r"^`--json` prints everything as one JSON document:(.*?)\n\n",
                              text, re.M | re.S)
        if not paragraph or len(self.events) < 15 or len(self.kinds) < 25:
            sys.exit(f"{tools_md}: the trace's event tables, the findings or the --json "
                     "fields are gone")
        self.json_fields = set(re.findall(r"`([a-z_]+)`", paragraph.group(1)))
        # The findings no example can make on this machine, as the docs say beside the tables.
        unmade = re.search(r"^No example here makes (.*?)\n\n", text, re.M | re.S)
        self.not_shown = set(re.findall(r"`([a-z_]+)`", unmade.group(1))) if unmade else set()

    def trace_line(self, line):
        try:
            obj = json.loads(line)
        except ValueError as error:
            return f"a trace line that does not parse ({error}): {line}"
        event = obj.get("event")
        if event not in self.events:
            return f"the event {event!r} is not in docs/tools.md's tables"
        extra = set(obj) - {"update", "event"} - self.events[event]
        if extra:
            return f"{event}: fields {sorted(extra)} are not listed in docs/tools.md"
        return None

    def json_document(self, obj):
        wrong = []

        def walk(value):
            if isinstance(value, dict):
                for key, inner in value.items():
                    if key not in self.json_fields:
                        wrong.append(key)
                    walk(inner)
            elif isinstance(value, list):
                for inner in value:
                    walk(inner)
        walk(obj)
        for finding in obj.get("problems", []) + obj.get("warnings", []):
            if finding.get("kind") not in self.kinds:
                wrong.append("kind " + str(finding.get("kind")))
        return f"fields not listed in docs/tools.md: {sorted(set(wrong))}" if wrong else None

    def check_output(self, command, printed):
        """Faults of the JSON a command printed against the lists."""
        faults = []
        if "--trace" in command:
            for line in printed.splitlines():
                if line.startswith("{"):
                    fault = self.trace_line(line)
                    if fault:
                        faults.append(fault)
        if "--json" in command and printed.lstrip().startswith("{"):
            try:
                end = json.JSONDecoder().raw_decode(printed.lstrip())[0]
            except ValueError as error:
                return [f"--json does not parse: {error}"]
            fault = self.json_document(end)
            if fault:
                faults.append(fault)
        return faults


class Runner:
    def __init__(self, cuebox, home):
        self.home = home
        self.bin = home / ".bin"
        self.bin.mkdir()
        (self.bin / "cuebox").symlink_to(cuebox)
        self.env = dict(os.environ, HOME=str(home), PATH=f"{self.bin}:{os.environ['PATH']}")
        self.env.pop("CUEBOX_CODEPAGE", None)

    def run(self, command, env=None):
        done = subprocess.run(["sh", "-c", command], cwd=self.home, env=env or self.env,
                              capture_output=True, timeout=120)
        # What goes to stderr comes after stdout: as a terminal interleaves them is not fixed.
        printed = (done.stdout + done.stderr).decode("utf-8", "replace")
        return done.returncode, printed.replace(str(self.home), "/home/me")


def run_doc(doc, source, cuebox, schema, raw_outputs):
    failures = []
    count = 0
    with tempfile.TemporaryDirectory(prefix="cuebox_doc_") as folder:
        runner = Runner(cuebox, Path(folder))
        for line, options, text in blocks(doc):
            where = f"{doc}:{line}"
            if "wav" in options:
                write_wav(runner.home / options["wav"], options)
                continue
            if "copy" in options:
                target = runner.home / options["to"]
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes((source / options["copy"]).read_bytes())
                continue
            if "file" in options:
                target = runner.home / options["file"]
                target.parent.mkdir(parents=True, exist_ok=True)
                data = ("\n".join(text) + "\n").encode("utf-8")
                target.write_bytes((b"\xef\xbb\xbf" if "bom" in options else b"") + data)
                continue
            steps = [(line - 1, options["run"], text)] if "run" in options else []
            for offset, text_line in enumerate(text if not steps else []):
                if text_line.startswith("$ "):
                    steps.append((line + offset, text_line[2:], []))
                elif steps:
                    steps[-1][2].append(text_line)
            if not steps:
                failures.append(f"{where}: a cuebox-test block without a `$ ` command")
            for at, command, expected in steps:
                count += 1
                _, printed = runner.run(command)
                raw_outputs.append((command.split("|")[0], printed))
                if not matches(expected, printed.splitlines()):
                    failures.append(f"{doc}:{at + 1}: `{command}` printed:\n{printed}"
                                    f"-- the doc says:\n" + "\n".join(expected))
                # A command that pipes its JSON through a filter shows a part of it; the
                # whole output is checked against the lists all the same.
                whole = printed if "|" not in command else runner.run(command.split("|")[0])[1]
                for fault in schema.check_output(command.split("|")[0], whole):
                    failures.append(f"{doc}:{at + 1}: `{command}`: {fault}")
    return count, failures


def code_pages(tools_md, cuebox):
    """Each code page the docs name is taken by number, as cpN and as windows-N, by the option
    and by CUEBOX_CODEPAGE; the ones said to be refused, and those just beside the list, are."""
    text = tools_md.read_text(encoding="utf-8")
    said = re.search(r"Choose the one of the\s+Windows your users fly:(.*?);", text, re.S)
    refused = re.search(r"East\s+Asian Windows \(([0-9, ]+)\)", text)
    if not said or not refused:
        return 0, [f"{tools_md}: the list of code pages is gone"]
    pages = [int(n) for n in re.findall(r"\b(\d{3,4})\s+\(", said.group(1))]
    no = [int(n) for n in re.findall(r"\d+", refused.group(1))]
    no += [min(pages) - 1, min(p for p in pages if p > 1000) - 1, max(pages) + 1]
    failures, count = [], 0
    with tempfile.TemporaryDirectory(prefix="cuebox_cp_") as folder:
        runner = Runner(cuebox, Path(folder))

        def page_of(option, env_value=None):
            env = dict(runner.env)
            if env_value is not None:
                env["CUEBOX_CODEPAGE"] = env_value
            code, printed = runner.run(f"cuebox check --root . --json {option}", env)
            try:
                return json.loads(printed)["code_page"]
            except (ValueError, KeyError):
                return None
        for page in pages:
            for name in (str(page), f"cp{page}", f"windows-{page}"):
                count += 1
                if page_of(f"--codepage {name}") != page:
                    failures.append(f"{tools_md}: --codepage {name} is not code page {page}")
        count += 2
        if page_of("", f"windows-{pages[0]}") != pages[0]:
            failures.append(f"{tools_md}: CUEBOX_CODEPAGE=windows-{pages[0]} is not taken")
        if page_of(f"--codepage {pages[-1]}", str(pages[0])) != pages[-1]:
            failures.append(f"{tools_md}: --codepage does not come before CUEBOX_CODEPAGE")
        for page in no:
            count += 1
            if page_of(f"--codepage {page}") is not None:
                failures.append(f"{tools_md}: --codepage {page} is taken, the doc refuses it")
        for page in no[:-3]:
            _, printed = runner.run(f"cuebox check --root . --codepage {page}")
            if "is not supported" not in printed:
                failures.append(f"{tools_md}: --codepage {page} does not say it is not "
                                f"supported:\n{printed}")
    return count, failures


def step_ranges(tools_md, cuebox):
    """Each scenario step whose row in docs/tools.md gives a range (`(0 to 86400)`) takes both
    bounds and refuses one past each. A step is tried before a line no scenario takes: the run
    stops there, at line 2, when the step was taken, and at line 1 when it was refused, without
    playing anything either way."""
    rows = [row for header, rows in tables(tools_md.read_text(encoding="utf-8"))
            if header[0] == "step" for row in rows]
    ranges = []
    for row in rows:
        step = re.match(r"`([a-z]+)", row[0])
        bounds = re.search(r"(-?\d+) to (-?\d+)", row[1])
        if step and bounds:
            ranges.append((step.group(1), int(bounds.group(1)), int(bounds.group(2))))
    if len(ranges) < 2:
        return 0, [f"{tools_md}: the scenario steps' ranges are gone"]
    failures, count = [], 0
    with tempfile.TemporaryDirectory(prefix="cuebox_steps_") as folder:
        runner = Runner(cuebox, Path(folder))
        for step, low, high in ranges:
            for value, taken in ((low, True), (high, True), (low - 1, False), (high + 1, False)):
                count += 1
                (runner.home / "s.scn").write_text(f"{step} {value}\nnot_a_step\n")
                _, printed = runner.run("cuebox run s.scn --root .")
                if ("s.scn:2:" in printed) != taken or ("s.scn:1:" in printed) == taken:
                    failures.append(f"{tools_md}: `{step} {value}` is "
                                    f"{'refused' if taken else 'taken'}:\n{printed}")
    return count, failures


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: doc_test.py SOURCE_DIR CUEBOX")
    source, cuebox = Path(sys.argv[1]), Path(sys.argv[2]).resolve()
    schema = Schema(source / "docs" / "tools.md")
    docs = sorted((source / "docs").glob("*.md")) + [source / "README.md"]
    total, failures, outputs = 0, [], []
    for doc in docs:
        count, found = run_doc(doc, source, cuebox, schema, outputs)
        total += count
        failures += found
    # The suite's outputs together show every event of the trace's table at least once.
    seen = set()
    for command, printed in outputs:
        if "--trace" in command:
            for line in printed.splitlines():
                try:
                    seen.add(json.loads(line).get("event"))
                except ValueError:
                    pass  # said above
    unseen = set(schema.events) - seen
    if unseen:
        failures.append(f"no doc example's --trace shows the events {sorted(unseen)}")
    # And their `check --json` documents every finding of check's tables, each made on purpose.
    found_kinds = set()
    for command, printed in outputs:
        if "--json" in command:
            found_kinds.update(re.findall(r'"kind": ?"([a-z][a-z0-9_]*)"', printed))
    unshown = schema.kinds - found_kinds - schema.not_shown
    if unshown:
        failures.append(f"no doc example's check --json shows the findings {sorted(unshown)}")
    for family in (code_pages, step_ranges):
        count, found = family(source / "docs" / "tools.md", cuebox)
        total += count
        failures += found
    for failure in failures:
        print("FAIL", failure, "\n")
    print(f"{total} doc examples and rows run, {len(failures)} failed")
    if total < 40:
        print("too few examples: are the cuebox-test marks gone?")
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
