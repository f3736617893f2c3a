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
  image.src = "/files/" + win.background.split("/").map(encodeURIComponent).join("/");
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
  for (const win of windows) {
    const view = element("div", {"class": "window", "data-section": win.section});
    // The window in its design units, scaled as a whole by the zoom.
    const inner = element("div", {"class": "scaled"});
    view.appendChild(inner);
    for (const gauge of win.gauges) {
      const w = gauge.w || UNSIZED, h = gauge.h || UNSIZED;
      const g = element("div", {"class": "gauge", "data-gauge": gauge.name, title: gauge.name});
      Object.assign(g.style, {left: gauge.x + "px", top: gauge.y + "px", width: w + "px",
                              height: h + "px"});
      for (const area of gauge.areas) {
        if (!area.click) continue;
        const a = element("div", {"class": "area", "data-area": String(area.index),
                                  title: area.tooltip || ("area " + area.index)});
        Object.assign(a.style, {left: area.x + "px", top: area.y + "px",
                                width: (area.w || w - area.x) + "px",
                                height: (area.h || h - area.y) + "px",
                                cursor: CURSORS[area.cursor.toLowerCase()] || "pointer"});
        a.addEventListener("click", () => post("/api/click",
                                               {gauge: gauge.name, area: String(area.index)}));
        g.appendChild(a);
      }
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
