#!/usr/bin/python3
"""The preview page of `cuebox serve` in headless Chromium, as an author uses it: the example
panel opens with every gauge drawn where the server's state puts it, a click on the warnings
gauge's test area plays slot 3 (on the page and in the server's trace), A:STALL WARNING set to
1 on the page loops slot 2, an edited gauge file is reloaded, and the page's Stop button ends
the server with the module disconnected. A dial of the test's own, beside the example's
gauges, has an element of every kind the page draws (a needle turned about its axis, a lamp
chosen by <Case> and hidden by <Visible>, a shifted mark, a <String> in its box), and the
screenshot is checked against the element states the server reports. Screenshots are kept for
the docs."""

import argparse
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

PANEL = "Aircraft\\Demo\\panel\\panel.cfg"
DIAL = "demo_sounds!dial"
# The dial: 120 pixels square, its face a grey disc whose pure black corners are transparent.
DIAL_XML = """<?xml version="1.0" encoding="UTF-8"?>
<Gauge Name="Dial" Version="1.0">
  <Image Name="dial_face.bmp"/>
  <Element>
    <Position X="60" Y="60"/>
    <Image Name="dial_needle.bmp"><Axis X="4" Y="4"/></Image>
    <Rotate><Value>(L:DialTurn, number)</Value></Rotate>
  </Element>
  <Element>
    <Position X="14" Y="70"/>
    <Visible>(L:DialLamp, bool)</Visible>
    <Select><Value>(L:DialColour, number)</Value>
      <Case Value="0"><Image Name="lamp_red.bmp"/></Case>
      <Case Value="1"><Image Name="lamp_green.bmp"/></Case>
    </Select>
  </Element>
  <Element>
    <Position X="10" Y="16"/>
    <Image Name="mark_blue.bmp"/>
    <Shift><Value>(L:DialShift, number)</Value><Scale X="1" Y="0"/></Shift>
  </Element>
  <Element>
    <Position X="30" Y="96"/>
    <Text X="60" Y="16" Color="#FFFF00" BackgroundColor="#000080" Adjust="Center">
      <String>%((L:DialTurn, number) 57.2958 *)%!d! deg</String>
    </Text>
  </Element>
  <Mouse>
    <Area Left="0" Top="0" Width="120" Height="120">
      <Tooltip>Turned %((L:DialTurn, number))%!1.2f!</Tooltip>
      <Cursor Type="Hand"/>
      <Click>(L:DialColour, number) ! (&gt;L:DialColour, number)</Click>
    </Area>
  </Mouse>
</Gauge>
"""
FACE, NEEDLE, RED, GREEN, BLUE, NAVY = ((0x80, 0x80, 0x80), (255, 255, 255), (200, 0, 0),
                                        (0, 200, 0), (0, 0, 200), (0, 0, 0x80))
WINDOW_GREY = (0x33, 0x33, 0x33)  # the page behind a window
PANEL_GREY = (0x4a, 0x52, 0x5c)  # the example's background bitmap


def add_dial(root):
    """The dial's gauge file and bitmaps beside the example's gear and flaps gauge, and its
    line in panel.cfg's main window."""
    from PIL import Image, ImageDraw

    folder = os.path.join(root, "Gauges", "demo_sounds")
    with open(os.path.join(folder, "dial.xml"), "w") as gauge:
        gauge.write(DIAL_XML)
    face = Image.new("RGB", (120, 120), (0, 0, 0))
    ImageDraw.Draw(face).ellipse((4, 4, 116, 116), fill=FACE)
    face.save(os.path.join(folder, "dial_face.bmp"))
    Image.new("RGB", (50, 8), NEEDLE).save(os.path.join(folder, "dial_needle.bmp"))
    for name, colour, size in (("lamp_red", RED, 16), ("lamp_green", GREEN, 16),
                               ("mark_blue", BLUE, 12)):
        Image.new("RGB", (size, size), colour).save(os.path.join(folder, name + ".bmp"))
    panel = os.path.join(root, *PANEL.split("\\"))
    with open(panel, "a") as cfg:
        cfg.write("gauge03=%s, 700,90,120,120\n" % DIAL)
WAIT = 10  # seconds for anything the page must show
OUT = "."  # where screenshots go


def fail(message):
    print("browser test: FAILED: " + message, file=sys.stderr)
    sys.exit(1)


class Server:
    """cuebox serve on the example panel, its standard output kept for the trace."""

    def __init__(self, cuebox, root, out):
        self.log_path = os.path.join(out, "serve.log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen(
            [cuebox, "serve", "--root", root, "--panel", PANEL, "--silent", "--trace"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
            start_new_session=True)
        deadline = time.time() + WAIT
        while time.time() < deadline:
            found = re.search(r"open (http://127\.0\.0\.1:\d+/)", self.output())
            if found:
                self.address = found.group(1)
                return
            if self.process.poll() is not None:
                break
            time.sleep(0.1)
        fail("the server did not start:\n" + self.output())

    def output(self):
        self.log.flush()
        with open(self.log_path) as log:
            return log.read()

    def state(self):
        with urllib.request.urlopen(self.address + "api/state", timeout=5) as reply:
            return json.load(reply)

    def traced(self, event, **fields):
        """The trace events of a kind (with the given fields) the server has printed so far."""
        found = []
        for line in self.output().splitlines():
            if not line.startswith("{"):
                continue
            parsed = json.loads(line)
            if parsed.get("event") == event and all(parsed.get(k) == v for k, v in fields.items()):
                found.append(parsed)
        return found


def browser(out):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--window-size=1280,900",
                 "--user-data-dir=" + tempfile.mkdtemp(prefix="chromium-", dir=out)):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait_for(driver, what, condition):
    try:
        return WebDriverWait(driver, WAIT, poll_frequency=0.05).until(lambda d: condition())
    except Exception as error:
        # A timeout, or what ended the wait sooner (a node replaced while it was read).
        logs = "\n".join(e["message"] for e in driver.get_log("browser"))
        driver.save_screenshot(os.path.join(OUT, "failed.png"))
        fail("the page did not show %s (%s)\n%s" % (what, type(error).__name__, logs))


def slot_state(driver, slot):
    # Read in one go in the page: the rows are replaced whenever a slot changes, and a row
    # found first and read after would be gone.
    return driver.execute_script(
        "const row = document.querySelector('tr[data-slot=\"' + arguments[0] + '\"]');"
        "return row ? row.dataset.state : null;", slot)


def rect(driver, node):
    """Where a node is drawn, transforms included (the zoom scales the window as a whole)."""
    return driver.execute_script(
        "const r = arguments[0].getBoundingClientRect();"
        "return {x: r.left, y: r.top, width: r.width, height: r.height};", node)


def click_at(driver, node):
    """A mouse click where the node is drawn on the screen, as an author clicks."""
    where = rect(driver, node)
    builder = ActionBuilder(driver)
    builder.pointer_action.move_to_location(int(where["x"] + where["width"] / 2),
                                            int(where["y"] + where["height"] / 2))
    builder.pointer_action.click()
    builder.perform()


def gauges_of(state):
    return [g for w in state["windows"] for g in w["gauges"]]


def close(color, expected, tolerance=12):
    return all(abs(a - b) <= tolerance for a, b in zip(color, expected))


def check_gauges_drawn(driver, state, out):
    """The screenshot against the state: each window at the size panel.cfg gives it over its
    background bitmap, pure black left transparent; each gauge at its place and size, with its
    mouse areas and tooltips; a gauge's place on the screenshot holds the bitmap's bezel."""
    from PIL import Image

    path = os.path.join(out, "serve-panel.png")
    driver.save_screenshot(path)
    shot = Image.open(path).convert("RGB")
    ratio = driver.execute_script("return window.devicePixelRatio")
    for window in state["windows"]:
        view = driver.find_element(By.CSS_SELECTOR, '.window[data-section="%s"]' %
                                   window["section"])
        if window["background"] and view.get_attribute("data-background") != "drawn":
            fail("the background of %s is not drawn" % window["section"])
        zoom = float(view.get_attribute("data-zoom"))
        shown = rect(driver, view)
        left, top = shown["x"], shown["y"]
        if abs(shown["width"] - window["width"] * zoom) > 2:
            fail("%s is %s wide on the page, not %s x %s" %
                 (window["section"], shown["width"], window["width"], zoom))

        def pixel(x, y):
            return shot.getpixel((int((left + x * zoom) * ratio), int((top + y * zoom) * ratio)))

        # The bitmap's pure black strip lets the window show through; its grey does not.
        if not close(pixel(500, 250), WINDOW_GREY):
            fail("pure black of the background is not transparent: %s" % (pixel(500, 250),))
        if not close(pixel(500, 150), PANEL_GREY):
            fail("the background bitmap is not where the window is: %s" % (pixel(500, 150),))
        for gauge in window["gauges"]:
            boxes = driver.find_elements(By.CSS_SELECTOR,
                                         '.gauge[data-gauge="%s"]' % gauge["name"])
            if len(boxes) != 1:
                fail("gauge %s is drawn %d times" % (gauge["name"], len(boxes)))
            box = rect(driver, boxes[0])
            for got, want in ((box["x"], left + gauge["x"] * zoom),
                              (box["y"], top + gauge["y"] * zoom),
                              (box["width"], gauge["w"] * zoom),
                              (box["height"], gauge["h"] * zoom)):
                if abs(got - want) > 2:
                    fail("gauge %s is not at the place and size panel.cfg gives: %s" %
                         (gauge["name"], box))
            # The bitmap's bezel behind each of the example's gauges, which draw nothing there.
            inside = pixel(gauge["x"] + gauge["w"] / 2, gauge["y"] + gauge["h"] / 2)
            if gauge["name"] != DIAL and not close(inside, (0x2b, 0x30, 0x36)):
                fail("behind gauge %s the screenshot shows %s, not the bezel" %
                     (gauge["name"], inside))
            areas = boxes[0].find_elements(By.CSS_SELECTOR, ".area")
            clickable = [a for a in gauge["areas"] if a["click"]]
            if len(areas) != len(clickable):
                fail("gauge %s shows %d mouse areas, the state %d" %
                     (gauge["name"], len(areas), len(clickable)))
            tooltips = state["gauges"][gauge["state"]]["tooltips"]
            for area, shown in zip(clickable, areas):
                tooltip = tooltips[gauge["areas"].index(area)]
                if tooltip and shown.get_attribute("title") != tooltip:
                    fail("area %d of %s lacks its tooltip" % (area["index"], gauge["name"]))
                if area["w"] and abs(rect(driver, shown)["width"] - area["w"] * zoom) > 2:
                    fail("area %d of %s is not its size" % (area["index"], gauge["name"]))


def post(server, path, body):
    request = urllib.request.Request(server.address + path.lstrip("/"),
                                     data=json.dumps(body).encode(), method="POST",
                                     headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=5) as reply:
        return json.load(reply)


def dial_state(state):
    """The dial as the server reports it: its line and its elements' state."""
    gauge = next(g for g in gauges_of(state) if g["name"] == DIAL)
    return gauge, state["gauges"][gauge["state"]]


def check_dial_drawn(driver, server, out, lamp):
    """A screenshot of the dial against its elements' state: the needle along its angle from
    its axis, the lamp of the chosen case where it lands (or none when <Visible> hides it), the
    mark where its shift puts it, the text box, the face's black corners transparent, and the
    tooltip as the server formatted it."""
    from PIL import Image

    post(server, "/api/set", {"variable": "L:DialLamp,bool", "value": lamp})
    wanted = lambda s: dial_state(s)[1]["elements"][1]["shown"] == bool(lamp)
    deadline = time.time() + WAIT
    while not wanted(server.state()) and time.time() < deadline:
        time.sleep(0.05)
    state = server.state()
    update = state["update"]
    wait_for(driver, "the dial's update", lambda: int(driver.find_element(
        By.TAG_NAME, "body").get_attribute("data-update")) > update)
    gauge, now = dial_state(state)
    path = os.path.join(out, "serve-dial-check.png")
    driver.save_screenshot(path)
    shot = Image.open(path).convert("RGB")
    ratio = driver.execute_script("return window.devicePixelRatio")
    box = driver.find_element(By.CSS_SELECTOR, '.gauge[data-gauge="%s"]' % DIAL)
    where = rect(driver, box)
    scale = where["width"] / gauge["drawing"]["w"]

    def pixel(x, y):
        return shot.getpixel((int((where["x"] + x * scale) * ratio),
                              int((where["y"] + y * scale) * ratio)))

    needle, lamp_now, mark, text = now["elements"]
    along = 30  # pixels out along the needle from its axis
    checks = [("the face", (100, 40), FACE), ("a transparent corner", (1, 1), PANEL_GREY),
              ("the needle", (needle["x"] + along * math.cos(needle["angle"]),
                              needle["y"] + along * math.sin(needle["angle"])), NEEDLE),
              ("the shifted mark", (mark["x"] + 6, mark["y"] + 6), BLUE),
              ("the text box", (text["x"] + 2, text["y"] + 2), NAVY)]
    case = next(i for i, image in enumerate(gauge["drawing"]["images"])
                if image["path"].endswith("lamp_green.bmp"))
    lamp_colour = GREEN if lamp_now["image"] == case else RED
    # A hidden element runs none of its scripts, so its state has no place: its <Position>.
    lamp_at = (lamp_now["x"], lamp_now["y"]) if lamp_now["shown"] else (14, 70)
    checks.append(("the lamp", (lamp_at[0] + 8, lamp_at[1] + 8),
                   lamp_colour if lamp_now["shown"] else FACE))
    for what, (x, y), colour in checks:
        if not close(pixel(x, y), colour):
            fail("the dial's %s at (%.0f, %.0f) shows %s, not %s; its state: %s" %
                 (what, x, y, pixel(x, y), colour, now))
    area = box.find_element(By.CSS_SELECTOR, ".area")
    if area.get_attribute("title") != now["tooltips"][0]:
        fail("the dial's tooltip is %r, the state's %r" % (area.get_attribute("title"),
                                                           now["tooltips"][0]))
    if text["text"] != "28 deg" or mark["x"] != 40:
        fail("the dial's state is not what its variables give: %s" % now)


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument("--cuebox", required=True)
    arguments.add_argument("--root", required=True)
    arguments.add_argument("--out", required=True)
    given = arguments.parse_args()
    global OUT
    OUT = given.out

    add_dial(given.root)
    server = Server(given.cuebox, given.root, given.out)
    driver = browser(given.out)
    try:
        driver.get(server.address)
        wait_for(driver, "the module connected", lambda: driver.find_element(
            By.ID, "status").get_attribute("data-connected") == "true")
        state = server.state()
        if len(gauges_of(state)) != 3:
            fail("the example panel and the dial are three XML gauges, the state says %d" %
                 len(gauges_of(state)))
        wait_for(driver, "every gauge and the background", lambda: len(
            driver.find_elements(By.CSS_SELECTOR, ".gauge")) == 3 and driver.find_elements(
            By.CSS_SELECTOR, '.window[data-background="drawn"]'))
        time.sleep(0.2)  # the zoom that fits the page is applied with the background
        check_gauges_drawn(driver, state, given.out)
        print("browser test: every gauge drawn where the state puts it")
        for variable, value in (("L:DialTurn,number", 0.5), ("L:DialColour,number", 1),
                                ("L:DialShift,number", 30)):
            post(server, "/api/set", {"variable": variable, "value": value})
        check_dial_drawn(driver, server, given.out, lamp=0)
        check_dial_drawn(driver, server, given.out, lamp=1)
        driver.find_element(By.CSS_SELECTOR, ".window").screenshot(
            os.path.join(given.out, "serve-dial.png"))
        print("browser test: the dial's elements drawn as their state says")

        # The warnings gauge's test button: slot 3 plays, on the page and in the trace.
        area = driver.find_element(
            By.CSS_SELECTOR, '.gauge[data-gauge="demo_warnings!warnings"] .area[data-area="1"]')
        # The time from the click to the row showing it, taken in the page (a measurement, not
        # a check: this machine's load decides it).
        driver.execute_script("""
            window.measured = {};
            document.addEventListener("click", () => { measured.click = performance.now(); }, true);
            new MutationObserver(() => {
              const row = document.querySelector('tr[data-slot="3"]');
              if (row && row.dataset.state === "playing" && !measured.shown)
                measured.shown = performance.now();
            }).observe(document.getElementById("slots"), {subtree: true, childList: true,
                                                          attributes: true});""")
        click_at(driver, area)
        wait_for(driver, "slot 3 playing", lambda: slot_state(driver, 3) == "playing")
        print("browser test: click to slot 3 shown playing: %.0f ms" % driver.execute_script(
            "return measured.shown - measured.click"))
        driver.save_screenshot(os.path.join(given.out, "serve-click.png"))
        if not server.traced("click", gauge="demo_warnings!warnings"):
            fail("the server's trace has no click on the warnings gauge")
        if not server.traced("read", value=3) or not server.traced("play", looping=False):
            fail("the server's trace does not show slot 3 read and played")
        print("browser test: the test button plays slot 3")

        # The stall warning, set on the page: slot 2 loops.
        box = driver.find_element(
            By.CSS_SELECTOR, 'tr[data-variable="A:STALL WARNING"] input[type="checkbox"]')
        box.click()
        wait_for(driver, "slot 2 looping", lambda: slot_state(driver, 2) == "looping")
        if not server.traced("play", looping=True):
            fail("the server's trace has no looping play")
        driver.save_screenshot(os.path.join(given.out, "serve-stall.png"))
        print("browser test: A:STALL WARNING set on the page loops slot 2")

        # An edited gauge file: the page says so and the panel reloads, the stall kept.
        gauge_file = os.path.join(given.root, "Gauges", "demo_sounds", "gear_flaps.xml")
        with open(gauge_file, "a") as edited:
            edited.write("\n<!-- edited while the preview runs -->\n")
        wait_for(driver, "the reload", lambda: driver.find_element(
            By.TAG_NAME, "body").get_attribute("data-reloads") == "1")
        wait_for(driver, "slot 2 looping after the reload",
                 lambda: slot_state(driver, 2) == "looping")
        if "gear_flaps.xml changed: reloading" not in server.output():
            fail("the server did not say which file changed")
        print("browser test: an edited gauge file is reloaded, the variables kept")

        # The page's Stop button ends the server, the module disconnected.
        driver.find_element(By.ID, "stop").click()
        try:
            status = server.process.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            fail("the server did not stop")
        if status != 0 or "the module is disconnected" not in server.output():
            fail("the server did not end cleanly:\n" + server.output()[-2000:])
        wait_for(driver, "that the server stopped", lambda: driver.find_element(
            By.ID, "status").text == "the server has stopped")
        print("browser test: the Stop button ends the server and disconnects the module")
    finally:
        driver.quit()
        if server.process.poll() is None:
            server.process.kill()
    print("browser test: passed")


if __name__ == "__main__":
    main()
