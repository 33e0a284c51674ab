// The configuration page's behaviour: the form built from the server's list
// of fields (names, ranges and help from the command's option table), the
// pictures fetched as settings change, where a newer request cancels the one
// before so that dragging stays smooth, the rectangle and divider dragged,
// the dialog's greying rules, Browse, the analysis and Save.
"use strict";

const api = (path) => new URL("api/" + path, document.baseURI);

// Where each field goes and what the dialog calls it.
const layout = {
  white: ["logo", "White level"],
  alpha: ["alpha", "Alpha", "slider"],
  x: ["space", "X", "slider"],
  y: ["space", "Y", "slider"],
  start: ["space", "Start frame"],
  end: ["space", "End frame*"],
  "fade-in": ["space", "Fade in"],
  "fade-out": ["space", "Fade out"],
  threshold1: ["blur", "Threshold 1"],
  threshold2: ["blur", "Threshold 2"],
  threshold3: ["blur", "Threshold 3"],
  blur: ["blur", "Blur 1 and 2"],
  blur3: ["blur", "Blur 3"],
  "bitmap-blur": ["blur", "Bitmap blur"],
  feather: ["blur", "Feather"],
  scene: ["other", "Scene change %"],
  noise: ["other", "Add noise"],
  seed: ["other", "Seed"],
};
// Greyed while alpha is 255: no interpolation runs then.
const interpolationFields = ["threshold1", "threshold2", "threshold3", "blur", "blur3", "scene"];
// The Defaults and Zero buttons' fields.
const defaultsFields = ["threshold1", "threshold2", "threshold3", "blur", "blur3", "bitmap-blur", "feather"];
const zeroFields = ["blur", "blur3", "bitmap-blur"];

const $ = (id) => document.getElementById(id);
let state = null;      // the server's description of the video and job
let settings = {};     // the values on screen, by field name
let set = null;        // the loaded set's read-outs and size
const inputs = {};     // field name -> its inputs (number, and slider when there is one)
let frame = 0;

function status(text, bad) {
  const s = $("status");
  s.textContent = text || "";
  s.classList.toggle("bad", !!bad);
}

async function errorText(response) {
  try {
    return (await response.json()).error || response.statusText;
  } catch {
    return response.statusText;
  }
}

async function postJson(path, body) {
  const r = await fetch(api(path), {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify(body),
  });
  if (!r.ok) throw new Error(await errorText(r));
  return r.json();
}

// Picture requests are numbered so that the server can tell this page's
// newest even when an aborted one reaches it late; the page's name keeps the
// numbers of two pages on the same server apart.
const pageName = Array.from(crypto.getRandomValues(new Uint8Array(8)), (b) => b.toString(16).padStart(2, "0")).join("");
let requestOrder = 0;
function nextOrder() {
  return ++requestOrder;
}

// One stream of picture requests: a new request aborts the one in flight,
// and only the newest answer is shown.
function pictureStream(img, onDone) {
  let controller = null;
  let shown = null;
  return async function request(url, init) {
    if (controller) controller.abort();
    const mine = (controller = new AbortController());
    try {
      const r = await fetch(url, { ...init, signal: mine.signal });
      if (r.status === 409) {
        // Overtaken: by our own newer request, which will answer, or by
        // another page on this server, which leaves ours as it was.
        if (mine === controller) onDone(null);
        return;
      }
      if (!r.ok) throw new Error(await errorText(r));
      const blob = await r.blob();
      if (mine !== controller) return;
      if (shown) URL.revokeObjectURL(shown);
      shown = URL.createObjectURL(blob);
      img.src = shown;
      onDone(null);
    } catch (e) {
      if (e.name === "AbortError" || mine !== controller) return;
      onDone(e.message);
    } finally {
      if (mine === controller) controller = null;
    }
  };
}

let beforeStream, afterStream;
let beforeError = null, afterError = null;

function showErrors() {
  const text = beforeError || afterError;
  if (text) status(text, true);
  else if ($("status").classList.contains("bad")) status("");
}

function refreshBefore() {
  beforeStream(api(`before?frame=${frame}&page=${pageName}&order=${nextOrder()}`));
}

function refreshAfter() {
  $("busy").hidden = false;
  afterStream(api("after"), {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ frame, settings, page: pageName, order: nextOrder() }),
  });
}

// ----- the form

function makeField(field) {
  const [group, label, kind] = layout[field.name];
  const box = document.querySelector(`.fields[data-group="${group}"]`);
  const row = document.createElement("label");
  row.className = "field" + (kind === "slider" ? " wide" : "");
  row.title = field.help;
  const name = document.createElement("span");
  name.textContent = label;
  row.append(name);
  const number = document.createElement("input");
  number.type = "number";
  number.name = field.name;
  number.id = "f-" + field.name;
  number.min = field.low;
  number.max = field.high;
  number.step = 1;
  number.required = true;
  const list = [number];
  if (kind === "slider") {
    const slider = document.createElement("input");
    slider.type = "range";
    slider.min = field.low;
    slider.max = Math.min(field.high, 4096);
    slider.setAttribute("aria-label", label);
    row.append(slider);
    list.push(slider);
    slider.addEventListener("input", () => setValue(field.name, slider.valueAsNumber, slider));
  }
  row.append(number);
  number.addEventListener("input", () => {
    if (number.value !== "" && number.checkValidity()) setValue(field.name, number.valueAsNumber, number);
    else number.classList.add("invalid");
  });
  box.append(row);
  inputs[field.name] = list;
}

function buildForm() {
  for (const field of state.fields) {
    if (field.kind === "integer" && layout[field.name]) makeField(field);
  }
  for (const radio of document.querySelectorAll('input[name="side"]')) {
    radio.addEventListener("change", () => setValue("side", Number(radio.value)));
  }
}

// Shows `name`'s value in every input but `from`, the one that set it.
function showValue(name, from) {
  if (name === "side") {
    for (const radio of document.querySelectorAll('input[name="side"]')) radio.checked = Number(radio.value) === settings.side;
    return;
  }
  if (name === "logo") {
    if (from !== $("f-logo")) $("f-logo").value = settings.logo || "";
    return;
  }
  for (const input of inputs[name] || []) {
    input.classList.remove("invalid");
    if (input !== from) input.value = settings[name];
  }
}

function setValue(name, value, from) {
  settings[name] = value;
  showValue(name, from);
  if (name === "x" || name === "y") placeRectangles();
  applyGreying();
  refreshAfter();
}

function showAll() {
  for (const name of Object.keys(settings)) showValue(name);
  showSet();
  applyGreying();
  placeRectangles();
}

// The dialog's rules: White level only for a black capture alone; the
// interpolation fields only while some interpolation runs.
function applyGreying() {
  const white = inputs.white || [];
  for (const input of white) input.disabled = !(set && set.blackMode === 1);
  const none = settings.alpha === 255;
  for (const name of interpolationFields) for (const input of inputs[name] || []) input.disabled = none;
}

function showSet() {
  $("r-black").value = set ? set.black : "N/A";
  $("r-white").value = set ? set.white : "N/A";
  $("r-mask").value = set ? set.mask : "N/A";
  // The rectangle must lie inside the picture.
  const w = set ? set.width : 0;
  const h = set ? set.height : 0;
  const limits = { x: state.width - w, y: state.height - h };
  for (const name of ["x", "y"]) for (const input of inputs[name] || []) input.max = Math.max(0, limits[name]);
  for (const input of inputs.start || []) input.max = Math.max(0, state.frames - 1);
}

// ----- the rectangle and the divider

function placeRectangles() {
  drawZoom();
  for (const rect of document.querySelectorAll(".rect")) {
    const img = rect.parentElement.querySelector("img");
    if (!set || !img.clientWidth) {
      rect.hidden = true;
      continue;
    }
    const scale = img.clientWidth / state.width;
    rect.hidden = false;
    rect.style.left = settings.x * scale + "px";
    rect.style.top = settings.y * scale + "px";
    rect.style.width = set.width * scale + "px";
    rect.style.height = set.height * scale + "px";
  }
}

// The rectangle and a margin around it, enlarged by a whole factor so that
// every pixel of the filter's work can be seen.
function drawZoom() {
  const zoom = $("zoom");
  const before = $("before"), after = $("after");
  if (!set || !before.naturalWidth || !after.naturalWidth) {
    zoom.hidden = true;
    return;
  }
  const margin = 12;
  const left = Math.max(0, settings.x - margin), top = Math.max(0, settings.y - margin);
  const width = Math.min(state.width, settings.x + set.width + margin) - left;
  const height = Math.min(state.height, settings.y + set.height + margin) - top;
  const room = ($("pictures").clientWidth - 48) / 2;
  const factor = Math.max(1, Math.min(8, Math.floor(room / width), Math.floor(260 / height)));
  zoom.hidden = false;
  for (const [canvas, img] of [[$("zoom-before"), before], [$("zoom-after"), after]]) {
    canvas.width = width * factor;
    canvas.height = height * factor;
    const g = canvas.getContext("2d");
    g.imageSmoothingEnabled = false;
    g.drawImage(img, left, top, width, height, 0, 0, canvas.width, canvas.height);
    g.strokeStyle = "rgba(255, 59, 48, 0.9)";
    g.lineWidth = 1;
    g.strokeRect((settings.x - left) * factor - 0.5, (settings.y - top) * factor - 0.5,
      set.width * factor + 1, set.height * factor + 1);
  }
}

function moveRectangleTo(x, y) {
  const maxX = Math.max(0, state.width - (set ? set.width : 0));
  const maxY = Math.max(0, state.height - (set ? set.height : 0));
  x = Math.round(Math.min(Math.max(x, 0), maxX));
  y = Math.round(Math.min(Math.max(y, 0), maxY));
  if (x === settings.x && y === settings.y) return;
  settings.x = x;
  settings.y = y;
  showValue("x");
  showValue("y");
  placeRectangles();
  refreshAfter();
}

function makeDraggable(rect) {
  let start = null;
  rect.addEventListener("pointerdown", (e) => {
    const img = rect.parentElement.querySelector("img");
    start = { px: e.clientX, py: e.clientY, x: settings.x, y: settings.y, scale: img.clientWidth / state.width };
    rect.setPointerCapture(e.pointerId);
    rect.classList.add("dragging");
    e.preventDefault();
  });
  rect.addEventListener("pointermove", (e) => {
    if (!start) return;
    moveRectangleTo(start.x + (e.clientX - start.px) / start.scale, start.y + (e.clientY - start.py) / start.scale);
  });
  const end = () => {
    start = null;
    rect.classList.remove("dragging");
  };
  rect.addEventListener("pointerup", end);
  rect.addEventListener("pointercancel", end);
  rect.addEventListener("keydown", (e) => {
    const step = e.shiftKey ? 10 : 1;
    const moves = { ArrowLeft: [-step, 0], ArrowRight: [step, 0], ArrowUp: [0, -step], ArrowDown: [0, step] };
    const m = moves[e.key];
    if (!m) return;
    moveRectangleTo(settings.x + m[0], settings.y + m[1]);
    e.preventDefault();
  });
}

let dividerAt = 0.5;

function placeDivider() {
  const stage = $("divider").parentElement;
  $("divider").style.left = dividerAt * 100 + "%";
  $("before-over").style.clipPath = `inset(0 ${(1 - dividerAt) * 100}% 0 0)`;
  stage.dataset.divider = Math.round(dividerAt * 100);
}

function makeDivider() {
  const divider = $("divider");
  const stage = divider.parentElement;
  let dragging = false;
  const follow = (e) => {
    const box = stage.getBoundingClientRect();
    dividerAt = Math.min(Math.max((e.clientX - box.left) / box.width, 0), 1);
    placeDivider();
  };
  divider.addEventListener("pointerdown", (e) => {
    dragging = true;
    divider.setPointerCapture(e.pointerId);
    e.preventDefault();
  });
  divider.addEventListener("pointermove", (e) => dragging && follow(e));
  divider.addEventListener("pointerup", () => (dragging = false));
  divider.addEventListener("keydown", (e) => {
    const step = e.shiftKey ? 0.1 : 0.02;
    if (e.key === "ArrowLeft") dividerAt = Math.max(0, dividerAt - step);
    else if (e.key === "ArrowRight") dividerAt = Math.min(1, dividerAt + step);
    else return;
    placeDivider();
    e.preventDefault();
  });
  placeDivider();
}

// ----- frames

// The frame's time from the start, as m:ss.cc.
function timeOf(n) {
  const seconds = n / state.rate;
  const m = Math.floor(seconds / 60);
  const s = (seconds - m * 60).toFixed(2).padStart(5, "0");
  return `${m}:${s}`;
}

function setFrame(n, from) {
  if (!Number.isInteger(n) || n < 0 || n >= state.frames) return;
  frame = n;
  $("frame-time").textContent = timeOf(n);
  if (from !== $("frame-slider")) $("frame-slider").value = n;
  if (from !== $("frame-number")) $("frame-number").value = n;
  refreshBefore();
  refreshAfter();
}

// ----- Browse, the analysis, Save, Stop

async function browse(extra) {
  const logo = $("f-logo").value.trim();
  try {
    const answer = await postJson("browse", { settings: { ...settings, logo } });
    if (answer.problem) {
      status(answer.problem, true);
      return;
    }
    settings = { ...answer.settings, ...(extra || {}) };
    set = answer.set;
    showAll();
    status("Loaded " + settings.logo);
    refreshAfter();
  } catch (e) {
    status(e.message, true);
  }
}

let analysisSettings = null;

async function pollAnalysis() {
  const r = await fetch(api("analysis"));
  const a = await r.json();
  const bar = $("analysis-progress");
  if (a.state === "running") {
    bar.hidden = false;
    bar.value = a.done || 0;
    $("analysis-pass").textContent = (a.pass || "starting") + " " + Math.round((a.done || 0) * 100) + "%";
    setTimeout(pollAnalysis, 300);
    return;
  }
  bar.hidden = true;
  $("analyze").disabled = false;
  if (a.state === "failed") {
    $("analysis-pass").textContent = "";
    status(a.message, true);
    return;
  }
  if (a.state !== "done") return;
  $("analysis-pass").textContent = "Found in " + a.folder;
  const list = $("candidates");
  list.replaceChildren();
  for (const c of a.candidates || []) {
    const item = document.createElement("li");
    const r = c.rect;
    item.textContent = `x ${r.x}, y ${r.y}, ${r.width}×${r.height}, score ${c.score}`;
    list.append(item);
  }
  if (!list.children.length && a.rect) {
    const item = document.createElement("li");
    item.textContent = `x ${a.rect.x}, y ${a.rect.y}, ${a.rect.width}×${a.rect.height} (as given)`;
    list.append(item);
  }
  const stamp = "?t=" + Date.now();
  $("opacity-map").src = api("analysis/alpha.png") + stamp;
  $("found-map").src = api("analysis/found.png") + stamp;
  analysisSettings = a.settings;
  $("analysis-result").hidden = false;
  status("The analysis found the logo in frames " + a.ranges.map((r) => r.start + "–" + (r.end || "end")).join(", "));
}

async function analyze() {
  $("analyze").disabled = true;
  $("analysis-result").hidden = true;
  try {
    await postJson("analysis", {});
    pollAnalysis();
  } catch (e) {
    $("analyze").disabled = false;
    status(e.message, true);
  }
}

async function useAnalysis() {
  if (!analysisSettings) return;
  $("f-logo").value = analysisSettings.logo;
  // The read-outs as Browse gives them, then the analysis's own choices.
  await browse(analysisSettings);
}

async function save() {
  try {
    const answer = await postJson("save", { settings });
    status("Saved " + answer.job);
  } catch (e) {
    status(e.message, true);
  }
}

async function stop() {
  try {
    await postJson("stop", {});
  } catch {
    // The server may close the connection as it goes.
  }
  document.body.classList.add("stopped");
  status("The server has stopped; this page no longer works. Close it.");
}

// ----- start

async function start() {
  const r = await fetch(api("state"));
  if (!r.ok) {
    status(await errorText(r), true);
    return;
  }
  state = await r.json();
  settings = state.settings;
  set = state.set;
  frame = state.frame;
  $("input").textContent = state.input;
  $("input").title = "job file: " + state.job;
  $("frame-slider").max = state.frames - 1;
  $("frame-number").max = state.frames - 1;
  $("frame-count").textContent = "of " + state.frames;
  document.documentElement.style.setProperty("--aspect", state.width / state.height);
  buildForm();

  beforeStream = pictureStream($("before"), (e) => {
    beforeError = e;
    $("before-over").src = $("before").src;
    showErrors();
  });
  afterStream = pictureStream($("after"), (e) => {
    afterError = e;
    $("busy").hidden = true;
    // Counted for whoever waits on the picture (the browser test).
    document.body.dataset.afterShown = Number(document.body.dataset.afterShown || 0) + 1;
    showErrors();
  });
  $("before").addEventListener("load", placeRectangles);
  $("after").addEventListener("load", placeRectangles);
  window.addEventListener("resize", placeRectangles);

  $("frame-slider").addEventListener("input", (e) => setFrame(e.target.valueAsNumber, e.target));
  $("frame-number").addEventListener("input", (e) => setFrame(e.target.valueAsNumber, e.target));
  $("view").addEventListener("change", (e) => {
    $("pictures").className = e.target.value;
    requestAnimationFrame(placeRectangles);
  });
  $("f-logo").addEventListener("keydown", (e) => {
    if (e.key === "Enter") {
      e.preventDefault();
      browse();
    }
  });
  $("browse").addEventListener("click", () => browse());
  $("defaults").addEventListener("click", () => {
    for (const name of defaultsFields) settings[name] = state.defaults[name];
    showAll();
    refreshAfter();
  });
  $("zero").addEventListener("click", () => {
    for (const name of zeroFields) settings[name] = 0;
    showAll();
    refreshAfter();
  });
  $("analyze").addEventListener("click", analyze);
  $("use-analysis").addEventListener("click", useAnalysis);
  $("save").addEventListener("click", save);
  $("stop").addEventListener("click", stop);
  $("settings").addEventListener("submit", (e) => e.preventDefault());
  for (const rect of document.querySelectorAll(".rect")) makeDraggable(rect);
  makeDivider();

  showAll();
  if (!set) status("Name the logo's bitmap set (its capture over black, or the mask), or let the analysis find it.");
  setFrame(Math.min(frame, state.frames - 1));
  document.body.classList.add("ready");
}

start();
