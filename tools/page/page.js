// The preview page: shows the state the server sends after each panel update (Server-Sent
// Events from /api/events) and sends the author's clicks and changes back as JSON. It works
// nothing out itself: slots, the stop flag and lost commands come as the server computed them.
"use strict";

const $ = (id) => document.getElementById(id);
let state = null;
let layoutKey = "";
const shown = {};  // per part of the page: the JSON it was last drawn from

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

// Where each gauge stands: at its place in its window when the panel gives one, else in a row.
function placed(gauges) {
  let x = 10;
  return gauges.map((gauge) => {
    if (gauge.w > 0 && gauge.h > 0) return gauge;
    const at = Object.assign({}, gauge, {x: x, y: 20, w: 120, h: 120});
    x += 130;
    return at;
  });
}

function windowsOf(current) {
  if (current.windows && current.windows.length) return current.windows;
  const sections = new Map();
  for (const gauge of current.gauges) {
    if (!sections.has(gauge.section)) sections.set(gauge.section, []);
    sections.get(gauge.section).push(gauge);
  }
  return [...sections].map(([section, gauges]) => ({section: section, title: section,
                                                    gauges: gauges}));
}

function drawLayout(current) {
  const windows = windowsOf(current);
  const key = JSON.stringify(windows.map((w) => [w.section, w.width, w.height, w.background,
    w.gauges.map((g) => [g.name, g.x, g.y, g.w, g.h, g.areas])]));
  if (key === layoutKey) return;
  layoutKey = key;
  const list = $("window-list");
  const chosen = list.value;
  list.replaceChildren(...windows.map((w) => element("option", {value: w.section}, w.title)));
  if (chosen) list.value = chosen;
  const box = $("windows");
  box.replaceChildren();
  for (const win of windows) {
    const gauges = placed(win.gauges);
    const width = win.width || Math.max(300, ...gauges.map((g) => g.x + g.w + 10));
    const height = win.height || Math.max(160, ...gauges.map((g) => g.y + g.h + 10));
    const view = element("div", {"class": "window", "data-section": win.section});
    view.style.width = width + "px";
    view.style.height = height + "px";
    view.appendChild(element("span", {"class": "title"}, win.title));
    for (const gauge of gauges) {
      const g = element("div", {"class": "gauge", "data-gauge": gauge.name, title: gauge.name});
      Object.assign(g.style, {left: gauge.x + "px", top: gauge.y + "px", width: gauge.w + "px",
                              height: gauge.h + "px"});
      g.appendChild(element("span", {"class": "name"}, gauge.name));
      for (const area of gauge.areas) {
        if (!area.click) continue;
        const a = element("div", {"class": "area", "data-area": String(area.index),
                                  title: area.tooltip || ("area " + area.index)});
        const r = area.w > 0 ? area : {x: 0, y: 0, w: gauge.w, h: gauge.h};
        Object.assign(a.style, {left: r.x + "px", top: r.y + "px", width: r.w + "px",
                                height: r.h + "px", cursor: area.cursor || "pointer"});
        a.addEventListener("click", () => post("/api/click",
                                               {gauge: gauge.name, area: String(area.index)}));
        g.appendChild(a);
      }
      view.appendChild(g);
    }
    box.appendChild(view);
  }
  showWindow();
}

function showWindow() {
  const chosen = $("window-list").value;
  const zoom = $("zoom").value;
  for (const view of document.querySelectorAll(".window")) {
    view.hidden = chosen && view.dataset.section !== chosen;
    view.style.zoom = zoom;
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
$("zoom").addEventListener("input", showWindow);
$("flight-play").addEventListener("click", () => post("/api/flight", {action: "play"}));
$("flight-pause").addEventListener("click", () => post("/api/flight", {action: "pause"}));
$("flight-restart").addEventListener("click", () => post("/api/flight", {action: "restart"}));
$("flight-position").addEventListener("change", (e) =>
  post("/api/flight", {action: "seek", position: Number(e.target.value)}));
listen();
