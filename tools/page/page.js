// The preview page: shows the state the server sends after each panel update (Server-Sent
// Events from /api/events) and sends the author's clicks and changes back as JSON. It works
// nothing out itself: slots, the stop flag and lost commands come as the server computed them.
"use strict";

const $ = (id) => document.getElementById(id);
let state = null;
const shown = {};  // per part of the page: the JSON it was last drawn from
let zoomChosen = false;  // until the author moves the zoom, the panel fits the page

function post(path, body) {
  return fetch(path, {
    method: "POST",
    headers: {"Content-Type": "application/json"},
    body: JSON.stringify(body || {}),
  }).then((reply) => reply.json().then((answer) => {
    if (!reply.ok) note(answer.error || ("refused: " + reply.status));
    return answer;
  }));
}

function note(text) {
  const problem = $("problem");
  problem.hidden = !text;
  problem.textContent = text || "";
}

function changed(part, value) {
  const text = JSON.stringify(value);
  if (shown[part] === text) return false;
  shown[part] = text;
  return true;
}

function element(tag, attributes, text) {
  const made = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) made.setAttribute(name, value);
  if (text !== undefined) made.textContent = text;
  return made;
}

// The simulator's cursors, as the browser names them.
const CURSORS = {hand: "pointer", uparrow: "n-resize", downarrow: "s-resize",
                 leftarrow: "w-resize", rightarrow: "e-resize", grab: "grab", crosshair: "crosshair"};
// A gauge line without a size: the gauge's own size, which comes from its bitmaps.
const UNSIZED = 64;

// A bitmap as the simulator shows it: pure black is transparent.
function drawBitmap(canvas, image, width, height) {
  canvas.width = width;
  canvas.height = height;
  const c = canvas.getContext("2d");
  c.drawImage(image, 0, 0, width, height);
  const pixels = c.getImageData(0, 0, width, height);
  const data = pixels.data;
  for (let i = 0; i < data.length; i += 4) {
    if (data[i] === 0 && data[i + 1] === 0 && data[i + 2] === 0) data[i + 3] = 0;
  }
  c.putImageData(pixels, 0, 0);
}

// A file of the panel, as the server serves it: its path from the root, each part escaped.
function fileUrl(path) {
  return "/files/" + path.split("/").map(encodeURIComponent).join("/");
}

// The gauges' bitmaps, each read once into a canvas with pure black made transparent; null
// while it loads or when it cannot be read. A bitmap that arrives redraws the gauges.
const bitmaps = {};
function bitmap(path) {
  if (!path) return null;
  if (!(path in bitmaps)) {
    bitmaps[path] = null;
    const image = new Image();
    image.onload = () => {
      const canvas = document.createElement("canvas");
      drawBitmap(canvas, image, image.naturalWidth, image.naturalHeight);
      bitmaps[path] = canvas;
      for (const part of Object.keys(shown)) if (part.startsWith("gauge-")) delete shown[part];
      if (state) drawGauges(state);
    };
    image.src = fileUrl(path);
  }
  return bitmaps[path];
}

// A <Text>'s box: its background colour, then its string aligned as Adjust= says.
function drawText(c, box, element) {
  if (box.background) {
    c.fillStyle = box.background;
    c.fillRect(element.x, element.y, box.w, box.h);
  }
  c.fillStyle = box.color || "white";
  c.font = Math.max(6, Math.round(box.h * 0.8)) + "px " + (box.font || "sans-serif");
  c.textBaseline = "middle";
  const adjust = (box.adjust || "Left").toLowerCase();
  c.textAlign = adjust === "center" ? "center" : adjust === "right" ? "right" : "left";
  const x = adjust === "center" ? element.x + box.w / 2 : adjust === "right" ? element.x + box.w
                                                                            : element.x;
  c.fillText(element.text, x, element.y + box.h / 2);
}

// A gauge as its scripts left it: its background, then each element shown, in file order (a
// parent before the elements in it), its image turned about its axis point, which lands where
// the state says, and its text.
function drawGauge(canvas, drawing, now) {
  const c = canvas.getContext("2d");
  c.clearRect(0, 0, canvas.width, canvas.height);
  const face = drawing.background >= 0 ? bitmap(drawing.images[drawing.background].path) : null;
  if (face) c.drawImage(face, 0, 0);
  now.elements.forEach((element, i) => {
    if (!element.shown) return;
    const picture = element.image >= 0 ? bitmap(drawing.images[element.image].path) : null;
    if (picture) {
      c.save();
      c.translate(element.x, element.y);
      c.rotate(element.angle);
      c.drawImage(picture, -element.axis_x, -element.axis_y);
      c.restore();
    }
    const box = drawing.elements[i].text;
    if (box) drawText(c, box, element);
  });
}

function drawGauges(current) {
  for (const win of current.windows) {
    for (const gauge of win.gauges) {
      const now = current.gauges[gauge.state];
      if (!now || !changed("gauge-" + gauge.state, now)) continue;
      const box = document.querySelector('.gauge[data-state="' + gauge.state + '"]');
      if (!box) continue;
      drawGauge(box.querySelector("canvas.face"), gauge.drawing, now);
      for (const area of box.querySelectorAll(".area")) {
        area.title = now.tooltips[Number(area.dataset.position)] || ("area " + area.dataset.area);
      }
    }
  }
}

function drawWindow(win, view) {
  const sized = () => {
    const w = win.gauges.map((g) => g.x + (g.w || UNSIZED));
    const h = win.gauges.map((g) => g.y + (g.h || UNSIZED));
    return [Math.max(200, ...w) + 10, Math.max(120, ...h) + 10];
  };
  const place = (width, height) => {
    const inner = view.querySelector(".scaled");
    inner.style.width = width + "px";
    inner.style.height = height + "px";
    view.dataset.width = String(width);
    view.dataset.height = String(height);
    if (!zoomChosen) {
      const fit = ($("windows").clientWidth - 4) / width;
      $("zoom").value = String(Math.max(0.5, Math.min(3, Math.floor(fit * 4) / 4)));
      showWindow();
    }
  };
  if (!win.background) {
    const [w, h] = sized();
    place(win.width || w, win.height || h);
    return;
  }
  const image = new Image();
  image.onload = () => {
    // size_mm gives the design width (and height); else the bitmap does.
    const width = win.width || image.naturalWidth;
    const height = win.height || Math.round(width * image.naturalHeight / image.naturalWidth);
    place(width, height);
    const canvas = element("canvas", {"class": "background"});
    drawBitmap(canvas, image, width, height);
    view.querySelector(".scaled").prepend(canvas);
    view.dataset.background = "drawn";
  };
  image.onerror = () => {
    view.dataset.background = "missing";
    const [w, h] = sized();
    place(win.width || w, win.height || h);
  };
  image.src = fileUrl(win.background);
}

function drawLayout(current) {
  const windows = current.windows;
  if (!changed("layout", windows)) return;
  const list = $("window-list");
  const chosen = list.value;
  list.replaceChildren(...windows.map((w) => element("option", {value: w.section}, w.title)));
  if (chosen) list.value = chosen;
  const box = $("windows");
  box.replaceChildren();
  // New canvases: every gauge is drawn again.
  for (const part of Object.keys(shown)) if (part.startsWith("gauge-")) delete shown[part];
  for (const win of windows) {
    const view = element("div", {"class": "window", "data-section": win.section});
    // The window in its design units, scaled as a whole by the zoom.
    const inner = element("div", {"class": "scaled"});
    view.appendChild(inner);
    for (const gauge of win.gauges) {
      const w = gauge.w || UNSIZED, h = gauge.h || UNSIZED;
      const g = element("div", {"class": "gauge", "data-gauge": gauge.name,
                                "data-state": String(gauge.state), title: gauge.name});
      Object.assign(g.style, {left: gauge.x + "px", top: gauge.y + "px", width: w + "px",
                              height: h + "px"});
      // The gauge is drawn in its own pixels and scaled to the size its line gives it.
      const design = [gauge.drawing.w || w, gauge.drawing.h || h];
      const face = element("canvas", {"class": "face", width: String(design[0]),
                                      height: String(design[1])});
      Object.assign(face.style, {width: w + "px", height: h + "px"});
      g.appendChild(face);
      const sx = w / design[0], sy = h / design[1];
      gauge.areas.forEach((area, position) => {
        if (!area.click) return;
        const a = element("div", {"class": "area", "data-area": String(area.index),
                                  "data-position": String(position)});
        Object.assign(a.style, {left: area.x * sx + "px", top: area.y * sy + "px",
                                width: (area.w || design[0] - area.x) * sx + "px",
                                height: (area.h || design[1] - area.y) * sy + "px",
                                cursor: CURSORS[area.cursor.toLowerCase()] || "pointer"});
        a.addEventListener("click", () => post("/api/click",
                                               {gauge: gauge.name, area: String(area.index)}));
        g.appendChild(a);
      });
      inner.appendChild(g);
    }
    box.appendChild(element("div", {"class": "window-title"}, win.title));
    box.appendChild(view);
    drawWindow(win, view);
  }
  showWindow();
}

function showWindow() {
  const chosen = $("window-list").value;
  const zoom = $("zoom").value;
  for (const view of document.querySelectorAll(".window")) {
    view.hidden = chosen && view.dataset.section !== chosen;
    view.previousSibling.hidden = view.hidden;
    view.querySelector(".scaled").style.transform = "scale(" + zoom + ")";
    view.style.width = Number(view.dataset.width || 0) * zoom + "px";
    view.style.height = Number(view.dataset.height || 0) * zoom + "px";
    view.dataset.zoom = zoom;
  }
}

function drawSound(current) {
  const variable = current.variable;
  $("variable-name").textContent = variable.name;
  $("variable-value").textContent = String(variable.value);
  $("reads").textContent = variable.read.map((r) => r.value).join(", ") || "-";
  $("writes").textContent =
    variable.written.map((w) => w.value + (w.gauge ? " (" + w.gauge + ")" : "")).join(", ") || "-";
  const flag = $("stop-flag");
  flag.dataset.set = String(current.stop_flag.set);
  flag.textContent = current.stop_flag.set ? current.stop_flag.effect : "stop flag down";
  $("lost").textContent = String(current.commands_lost);
  if (changed("slots", current.slots)) {
    $("slots").tBodies[0].replaceChildren(...current.slots.map((slot) => {
      const row = element("tr", {"data-slot": String(slot.slot), "data-state": slot.state});
      row.append(element("td", {}, String(slot.slot).padStart(2, "0")),
                 element("td", {}, slot.path), element("td", {}, slot.state));
      return row;
    }));
  }
}

function drawLanes(current) {
  const canvas = $("lanes");
  const c = canvas.getContext("2d");
  const span = 30;
  const now = current.time;
  const slots = [...new Set(current.intervals.map((i) => i.slot))].sort((a, b) => a - b);
  const rows = 1 + slots.length;
  canvas.height = 20 + 18 * rows;
  c.clearRect(0, 0, canvas.width, canvas.height);
  const x = (t) => 60 + (canvas.width - 70) * (1 - (now - t) / span);
  c.font = "11px sans-serif";
  c.fillStyle = "#333";
  c.fillText("commands", 2, 24);
  for (const read of current.variable.read) {
    const t = (read.update - 1) / 18;
    if (t < now - span) continue;
    c.fillRect(x(t), 14, 2, 14);
    c.fillText(String(read.value), x(t) + 3, 24);
  }
  slots.forEach((slot, row) => {
    const y = 32 + 18 * row;
    c.fillStyle = "#333";
    c.fillText("slot " + slot, 2, y + 11);
    for (const interval of current.intervals.filter((i) => i.slot === slot)) {
      const end = interval.end === null ? now : Math.min(interval.end, now);
      c.fillStyle = interval.looping ? "#06c" : "#2a2";
      c.fillRect(x(Math.max(interval.start, now - span)), y, Math.max(2, x(end) - x(interval.start)), 12);
    }
  });
}

function drawVariables(current) {
  const names = current.variables.map((v) => v.name + "," + v.unit);
  const body = $("variables").tBodies[0];
  if (changed("variable-names", names)) {
    body.replaceChildren(...current.variables.map((v) => {
      const row = element("tr", {"data-variable": v.name});
      const input = v.unit.toLowerCase() === "bool"
        ? element("input", {type: "checkbox"})
        : element("input", {type: "number", step: "any"});
      input.addEventListener("change", () => post("/api/set", {
        variable: v.name + (v.unit ? "," + v.unit : ""),
        value: input.type === "checkbox" ? (input.checked ? 1 : 0) : input.value,
      }));
      const cell = element("td");
      cell.appendChild(input);
      row.append(element("td", {}, v.name), element("td", {}, v.unit), cell);
      return row;
    }));
  }
  current.variables.forEach((v, i) => {
    const input = body.rows[i].querySelector("input");
    if (document.activeElement === input) return;
    if (input.type === "checkbox") input.checked = Number(v.value) !== 0;
    else input.value = String(v.value);
  });
}

function drawFlight(current) {
  const flight = current.flight;
  $("flight").hidden = !flight.present;
  if (!flight.present) return;
  const slider = $("flight-position");
  slider.max = String(flight.duration);
  if (document.activeElement !== slider) slider.value = String(flight.position);
  $("flight-time").textContent = flight.position.toFixed(1) + " / " + flight.duration + " s" +
    (flight.playing ? "" : " (paused)");
}

function drawLog(current) {
  const log = $("log");
  const last = Number(log.dataset.last || 0);
  for (const entry of current.log) {
    if (entry.n <= last) continue;
    log.appendChild(element("li", {"data-kind": entry.kind, value: String(entry.n)},
                            entry.text));
    log.dataset.last = String(entry.n);
  }
  log.scrollTop = log.scrollHeight;
}

function draw(current) {
  state = current;
  $("panel-name").textContent = current.panel;
  const status = $("status");
  status.dataset.connected = String(current.connected);
  status.textContent = current.connected ? "module connected" : "module disconnected";
  $("clock").textContent = "update " + current.update + ", " + current.time.toFixed(1) + " s";
  note(current.problem);
  document.body.dataset.update = String(current.update);
  document.body.dataset.reloads = String(current.reloads);
  drawLayout(current);
  drawGauges(current);
  drawSound(current);
  drawLanes(current);
  drawVariables(current);
  drawFlight(current);
  drawLog(current);
}

function listen() {
  const events = new EventSource("/api/events");
  events.onmessage = (message) => draw(JSON.parse(message.data));
  events.onerror = () => {
    const status = $("status");
    status.dataset.connected = "false";
    status.textContent = "the server has stopped";
  };
}

$("stop").addEventListener("click", () => post("/api/stop"));
$("window-list").addEventListener("change", showWindow);
$("zoom").addEventListener("input", () => {
  zoomChosen = true;
  showWindow();
});
$("flight-play").addEventListener("click", () => post("/api/flight", {action: "play"}));
$("flight-pause").addEventListener("click", () => post("/api/flight", {action: "pause"}));
$("flight-restart").addEventListener("click", () => post("/api/flight", {action: "restart"}));
$("flight-position").addEventListener("change", (e) =>
  post("/api/flight", {action: "seek", position: Number(e.target.value)}));
listen();
