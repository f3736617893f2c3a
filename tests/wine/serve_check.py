#!/usr/bin/env python3
"""`cuebox serve` driven over HTTP as its page drives it, from outside the program: the page and
the state are answered, a click on the warnings gauge's test area (the request the page sends)
plays slot 3, and the page's Stop request ends the server with the module disconnected.

Usage: serve_check.py SECONDS LAYOUT COMMAND...
  COMMAND runs `cuebox serve` on the example panel (under Wine for a cuebox.exe); SECONDS bounds
  each wait; the panel's windows, gauges and mouse areas as the first state gives them are
  written to the file LAYOUT, to be compared with another build's. Prints what it saw; exits 0
  when every step passed, 1 otherwise.
"""
import json
import re
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

GAUGE = "demo_warnings!warnings"
AREA = "1"  # the test button
SLOT = 3


class Failed(Exception):
    pass


def wait_for(what, seconds, probe, step=0.05):
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(step)
    raise Failed("no %s within %s s" % (what, seconds))


def main():
    seconds, layout, command = float(sys.argv[1]), sys.argv[2], sys.argv[3:]
    log = tempfile.TemporaryFile(mode="w+b")
    server = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log,
                              stderr=subprocess.STDOUT)

    def output():
        log.seek(0)
        return log.read().decode("utf-8", "replace").replace("\r", "")

    def address():
        if server.poll() is not None:
            raise Failed("serve ended (exit %s) before it listened:\n%s" %
                         (server.returncode, output()))
        found = re.search(r"open (http://127\.0\.0\.1:(\d+)/)", output())
        return found and found.groups()

    def request(path, body=None):
        headers = {}
        if body is not None:  # what the page's post() sends, from the page's own origin
            headers = {"Content-Type": "application/json", "Origin": origin}
        data = None if body is None else json.dumps(body).encode()
        sent = urllib.request.Request(base + path, data=data, headers=headers,
                                      method="GET" if body is None else "POST")
        try:
            with urllib.request.urlopen(sent, timeout=seconds) as reply:
                return reply.status, reply.read().decode()
        except urllib.error.HTTPError as refused:
            return refused.code, refused.read().decode()

    def slot_state():
        status, text = request("api/state")
        if status != 200:
            raise Failed("the state is refused: %s %s" % (status, text))
        return {s["slot"]: s["state"] for s in json.loads(text)["slots"]}.get(SLOT)

    started = time.time()
    try:
        base, port = wait_for("address printed", seconds, address, 0.1)
        origin = "http://127.0.0.1:%s" % port
        print("serve: listening after %.1f s at %s" % (time.time() - started, base))
        status, page = request("")
        if status != 200 or 'id="slots"' not in page:
            raise Failed("the page is not served: %s %s" % (status, page[:200]))
        status, text = request("api/state")
        state = json.loads(text)
        gauges = {g["name"]: g for w in state["windows"] for g in w["gauges"]}
        with open(layout, "w") as out:
            json.dump(state["windows"], out, indent=1, sort_keys=True)
        if not state["connected"] or GAUGE not in gauges:
            raise Failed("the state shows no connected module with %s: %s" % (GAUGE, text[:300]))
        print("serve: page and state answered, %d windows, %d gauges, slot %d %s" %
              (len(state["windows"]), len(gauges), SLOT, slot_state()))
        status, text = request("api/click", {"gauge": GAUGE, "area": AREA})
        if status != 200:
            raise Failed("the click is refused: %s %s" % (status, text))
        clicked = time.time()
        wait_for("slot %d playing" % SLOT, seconds, lambda: slot_state() == "playing", 0.02)
        print("serve: the test button's click plays slot %d (%.2f s after the click returned)" %
              (SLOT, time.time() - clicked))
        status, text = request("api/stop", {})
        if status != 200:
            raise Failed("stop is refused: %s %s" % (status, text))
        try:
            code = server.wait(seconds)
        except subprocess.TimeoutExpired:
            raise Failed("serve did not end after stop")
        if code != 0 or "the module is disconnected" not in output():
            raise Failed("serve ended with exit %s:\n%s" % (code, output()))
        print("serve: stopped, the module disconnected (%.1f s in all)" % (time.time() - started))
        return 0
    except (Failed, OSError, ValueError, KeyError) as problem:
        print("serve: %s" % problem)
        return 1
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()


if __name__ == "__main__":
    sys.exit(main())
