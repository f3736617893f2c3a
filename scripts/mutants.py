#!/usr/bin/env python3
"""The mutation sweep behind scripts/mutants.sh: does the native suite notice careless edits?

Each entry of the list (tests/mutants.txt) changes one line of the code. The sweep copies the
tree (tracked and new files) to a private folder, configures it once, and then for each entry:
changes the line, builds incrementally, runs the native tests with a time limit (a hang counts
as noticed), and puts the line back. It prints each change the tests did not notice, the
entries that no longer match the code (stale: not counted), and as its last line the share of
changes noticed. The working tree is never touched.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


class Entry:
    def __init__(self, name, line):
        self.name = name
        self.line = line  # where it starts in the list, for messages
        self.fields = {}

    def get(self, key, default=None):
        return self.fields.get(key, default)


def parse(list_path):
    """Entries from the list; exits with a message on a malformed one."""
    entries = []
    current = None
    for number, raw in enumerate(list_path.read_text().splitlines(), 1):
        if raw.startswith("#") or not raw.strip():
            continue
        if raw.startswith("[") and raw.rstrip().endswith("]"):
            current = Entry(raw.strip()[1:-1], number)
            entries.append(current)
            continue
        key, sep, value = raw.partition(": ")
        if not sep or current is None or key not in (
                "file", "find", "replace", "occurrence", "why", "equivalent"):
            sys.exit(f"{list_path}:{number}: not an entry line: {raw!r}")
        current.fields[key] = value
    names = set()
    for e in entries:
        for key in ("file", "find", "replace", "why"):
            if key not in e.fields:
                sys.exit(f"{list_path}:{e.line}: entry [{e.name}] has no '{key}:'")
        if e.get("find") == e.get("replace"):
            sys.exit(f"{list_path}:{e.line}: entry [{e.name}] changes nothing")
        if e.name in names:
            sys.exit(f"{list_path}:{e.line}: a second entry named [{e.name}]")
        names.add(e.name)
    return entries


def locate(entry, text):
    """The offset of the entry's text in the file, or a reason it is stale."""
    find = entry.get("find")
    offsets = []
    at = text.find(find)
    while at != -1:
        offsets.append(at)
        at = text.find(find, at + 1)
    if "\n" in find:
        return None, "the text to find spans lines"
    if not offsets:
        return None, "the text is no longer in the file"
    which = entry.get("occurrence")
    if which is None:
        if len(offsets) > 1:
            return None, f"the text is found {len(offsets)} times and no occurrence is given"
        return offsets[0], None
    if not which.isdigit() or not 1 <= int(which) <= len(offsets):
        return None, f"occurrence {which} asked, the text is found {len(offsets)} times"
    return offsets[int(which) - 1], None


def sync_tree(source, copy):
    """Copies the tree's files (tracked and not ignored) into the private copy, writing only
    those that differ, so that the copy's build stays incremental from one sweep to the next."""
    listed = subprocess.run(
        ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=source, check=True, capture_output=True).stdout.decode().split("\0")
    for name in filter(None, listed):
        origin = source / name
        if not origin.is_file():
            continue  # deleted in the working tree but still in the index
        target = copy / name
        data = origin.read_bytes()
        if target.is_file() and target.read_bytes() == data:
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
        shutil.copymode(origin, target)


def run(command, log, cwd, limit=None):
    """Runs a command with its output in `log`; the exit code, or None when it ran out of
    time (it is then killed with everything it started)."""
    with open(log, "ab") as out:
        out.write(("\n$ " + " ".join(command) + "\n").encode())
        out.flush()
        process = subprocess.Popen(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        try:
            return process.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, 9)
            process.wait()
            return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("names", nargs="*", help="run only these entries (default: all)")
    parser.add_argument("--list", default=str(ROOT / "tests" / "mutants.txt"))
    parser.add_argument("--work", default=str(ROOT / "build" / "mutants"),
                        help="the private copy and its build (default: build/mutants)")
    parser.add_argument("--jobs", type=int, default=2, help="build and test jobs (2)")
    parser.add_argument("--limit", type=int, default=600,
                        help="seconds for one test run; a run that takes longer is a hang, "
                             "which counts as noticed (600)")
    parser.add_argument("--check", action="store_true",
                        help="only tell which entries no longer match the code")
    args = parser.parse_args()

    entries = parse(Path(args.list))
    unknown = set(args.names) - {e.name for e in entries}
    if unknown:
        sys.exit("no such entries: " + ", ".join(sorted(unknown)))
    if args.names:
        entries = [e for e in entries if e.name in args.names]

    work = Path(args.work)
    copy = work / "src"
    logs = work / "logs"
    copy.mkdir(parents=True, exist_ok=True)
    if logs.exists():
        shutil.rmtree(logs)
    logs.mkdir()
    sync_tree(ROOT, copy)

    live, stale = [], []
    for e in entries:
        path = copy / e.get("file")
        if not path.is_file():
            stale.append((e, "the file is gone"))
            continue
        offset, reason = locate(e, path.read_text())
        if reason:
            stale.append((e, reason))
        else:
            live.append(e)

    def report_stale():
        if stale:
            print(f"\nSTALE: {len(stale)} entries no longer match the code and were not run "
                  f"(rewrite them in {os.path.relpath(args.list)}):")
            for e, reason in stale:
                print(f"  [{e.name}] {e.get('file')}: {reason}")

    if args.check:
        report_stale()
        print(f"{len(live)} entries match, {len(stale)} stale")
        return 1 if stale else 0

    build = copy / "build" / "native"
    setup_log = logs / "baseline.log"
    print(f"building the private copy in {build} (log: {setup_log})", flush=True)
    if run(["cmake", "--preset", "native", "-DCUEBOX_BENCH=OFF"], setup_log, copy) != 0 or \
            run(["cmake", "--build", str(build), "-j", str(args.jobs)], setup_log, copy) != 0:
        sys.exit(f"the unchanged tree does not build: see {setup_log}")
    test = ["ctest", "--test-dir", str(build), "-j", str(args.jobs), "--timeout",
            str(args.limit), "--output-on-failure"]
    if run(test, setup_log, copy, args.limit) != 0:
        sys.exit(f"the unchanged tree fails its tests: see {setup_log}")

    noticed, survived, unbuilt, equivalent = [], [], [], []
    started = time.time()
    for index, e in enumerate(live, 1):
        path = copy / e.get("file")
        original = path.read_text()
        offset, _ = locate(e, original)
        changed = original[:offset] + e.get("replace") + original[offset + len(e.get("find")):]
        log = logs / f"{e.name}.log"
        path.write_text(changed)
        try:
            if run(["cmake", "--build", str(build), "-j", str(args.jobs)], log, copy) != 0:
                outcome = "does not build"
                unbuilt.append(e)
            else:
                code = run(test, log, copy, args.limit)
                if code is None:
                    outcome = "noticed (hang)"
                elif code != 0:
                    outcome = "noticed"
                else:
                    outcome = "equivalent" if e.get("equivalent") else "SURVIVED"
                (noticed if outcome.startswith("noticed") else
                 equivalent if outcome == "equivalent" else
                 survived if outcome == "SURVIVED" else []).append(e)
        finally:
            path.write_text(original)
        print(f"[{index}/{len(live)}] {outcome:15} [{e.name}] {e.get('file')}", flush=True)
    # Leave the copy's build as the unchanged tree has it, for the next sweep.
    run(["cmake", "--build", str(build), "-j", str(args.jobs)], setup_log, copy)

    print(f"\n{len(live)} changes run in {time.time() - started:.0f} s; logs in {logs}")
    if survived:
        print(f"\nSURVIVORS: {len(survived)} changes no test noticed:")
        for e in survived:
            print(f"  [{e.name}] {e.get('file')}: {e.get('find').strip()}")
            print(f"      -> {e.get('replace').strip()}")
            print(f"      {e.get('why')}")
    if equivalent:
        print(f"\nEquivalent, not counted ({len(equivalent)}):")
        for e in equivalent:
            print(f"  [{e.name}] {e.get('equivalent')}")
    for e in [e for e in noticed if e.get("equivalent")]:
        print(f"  note: [{e.name}] is marked equivalent but was noticed: drop the mark")
    if unbuilt:
        print(f"\nDo not build, not counted ({len(unbuilt)}): " +
              ", ".join(f"[{e.name}]" for e in unbuilt))
    report_stale()
    counted = len(noticed) + len(survived)
    share = 100.0 * len(noticed) / counted if counted else 0.0
    print(f"noticed {len(noticed)} of {counted} changes ({share:.1f}%)")
    return 0 if not survived else 1


if __name__ == "__main__":
    sys.exit(main())
