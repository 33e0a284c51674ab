// The configuration page in a real browser: headless Chromium, driven through
// puppeteer-core, on a clip this script makes. It loads a bitmap set, steps
// a setting with the keyboard, checks that the after picture is pixel for
// pixel the frame pendra process writes losslessly with the same settings,
// drags the rectangle, saves, replays the saved job, and keeps screenshots.
//
//   node page_test.mjs PENDRA CHROMIUM WORKDIR
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import readline from "node:readline";
import puppeteer from "puppeteer-core";

const [pendra, chromium, work] = process.argv.slice(2);
if (!work) {
  console.error("usage: node page_test.mjs PENDRA CHROMIUM WORKDIR");
  process.exit(2);
}
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
const at = (name) => path.join(work, name);

let failures = 0;
function check(condition, what) {
  console.log((condition ? "ok   " : "FAIL ") + what);
  if (!condition) failures++;
}

// ----- the material: a clip with a ring-shaped logo at half opacity, and its captures

const logoX = 200, logoY = 24, logoW = 48, logoH = 32;

// A 24-bit bitmap, bottom line first, rows padded to four bytes.
function writeBmp(file, width, height, colourAt) {
  const stride = (width * 3 + 3) & ~3;
  const data = Buffer.alloc(54 + stride * height);
  data.write("BM", 0);
  data.writeUInt32LE(data.length, 2);
  data.writeUInt32LE(54, 10);
  data.writeUInt32LE(40, 14);
  data.writeInt32LE(width, 18);
  data.writeInt32LE(height, 22);
  data.writeUInt16LE(1, 26);
  data.writeUInt16LE(24, 28);
  data.writeUInt32LE(stride * height, 34);
  for (let row = 0; row < height; row++) {
    for (let x = 0; x < width; x++) {
      const [r, g, b] = colourAt(x, height - 1 - row);
      const o = 54 + row * stride + x * 3;
      data[o] = b;
      data[o + 1] = g;
      data[o + 2] = r;
    }
  }
  fs.writeFileSync(file, data);
}

// The ring: six pixels wide, four pixels of clean border around it.
const inRing = (x, y) => {
  const inner = (m) => x >= m && x < logoW - m && y >= m && y < logoH - m;
  return inner(4) && !inner(10);
};
const stem = at(`logo_x_${logoX}_y_${logoY}_`);
writeBmp(stem + "0.bmp", logoW, logoH, (x, y) => (inRing(x, y) ? [128, 128, 128] : [0, 0, 0]));
writeBmp(stem + "1.bmp", logoW, logoH, (x, y) => (inRing(x, y) ? [255, 255, 255] : [255, 255, 255]));

const clip = at("clip.mkv");
const frames = 60;
// The logo laid over the picture in RGB, as a broadcaster's mixer would:
// white at 128/255 opacity, which is what the capture over black holds.
const inner = (m) => `gte(X,${m})*lt(X,${logoW - m})*gte(Y,${m})*lt(Y,${logoH - m})`;
execFileSync("ffmpeg", [
  "-v", "error", "-y",
  // Smooth colours in slow motion: the analysis sees through them.
  "-f", "lavfi", "-i", "color=black:size=640x360:rate=25,format=gbrp," +
    "geq=r='128+100*sin(X/90+T*3)':g='128+90*sin(Y/70+T*4)':b='128+100*sin((X+Y)/130-T*2)'",
  "-f", "lavfi", "-i", `color=white:size=${logoW}x${logoH},format=rgba,geq=r=255:g=255:b=255:a='128*${inner(4)}*(1-${inner(10)})'`,
  "-filter_complex", `[0][1]overlay=x=${logoX}:y=${logoY}:format=rgb:shortest=1`,
  "-frames:v", String(frames), "-c:v", "ffv1", "-pix_fmt", "bgr0", clip,
]);

// A picture or a video's frame as raw RGB bytes, through the ffmpeg command.
function rgbOf(file, frame) {
  const select = frame === undefined ? [] : ["-vf", `select=eq(n\\,${frame})`];
  return execFileSync("ffmpeg", ["-v", "error", "-i", file, ...select, "-frames:v", "1",
    "-pix_fmt", "rgb24", "-f", "rawvideo", "-"], { maxBuffer: 64 << 20 });
}

function runSettingsArgs(settings) {
  return ["--noise", String(settings.noise), "--feather", String(settings.feather),
    "--seed", String(settings.seed)];
}

function settingsArgs(settings) {
  const args = [];
  for (const [name, value] of Object.entries(settings)) args.push("--" + name, String(value));
  return args;
}

// ----- the server and the browser

const job = at("page.job");
const server = spawn(pendra, ["configure", clip, "--job", job, "--no-browser"], {
  stdio: ["ignore", "pipe", "inherit"],
});
const serverExit = new Promise((resolve) => server.on("exit", (code) => resolve(code)));
const address = await new Promise((resolve, reject) => {
  readline.createInterface({ input: server.stdout }).once("line", resolve);
  server.once("exit", (code) => reject(new Error("pendra configure ended with " + code)));
});
check(/^http:\/\/127\.0\.0\.1:\d+\/[0-9a-f]{32}\/$/.test(address), "the first line is the page's address: " + address);

const profile = fs.mkdtempSync(path.join(work, "profile-"));
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    `--user-data-dir=${profile}`],
  defaultViewport: { width: 1280, height: 800 },
});

try {
  const page = await browser.newPage();
  const requestsElsewhere = [];
  page.on("request", (r) => {
    if (!r.url().startsWith(address) && !r.url().startsWith("blob:")) requestsElsewhere.push(r.url());
  });
  page.on("pageerror", (e) => check(false, "the page threw: " + e.message));
  await page.goto(address);
  await page.waitForSelector("body.ready");

  const shown = () => page.evaluate(() => Number(document.body.dataset.afterShown || 0));
  // Waits for a new after picture; when none comes, says what the page showed.
  const waitAfter = async (count) => {
    try {
      await page.waitForFunction(
        (c) => Number(document.body.dataset.afterShown || 0) > c && document.getElementById("busy").hidden, {}, count);
    } catch (e) {
      const seen = await page.evaluate(() => ({
        shown: document.body.dataset.afterShown, busy: !document.getElementById("busy").hidden,
        status: document.getElementById("status").textContent, settings,
      }));
      throw new Error(`no new after picture since the ${count}th: ${JSON.stringify(seen)}; ${e.message}`);
    }
  };
  const settings = () => page.evaluate("settings");
  const afterPicture = async (name) => {
    const base64 = await page.evaluate(async () => {
      const blob = await (await fetch(document.getElementById("after").src)).blob();
      return new Promise((resolve) => {
        const reader = new FileReader();
        reader.onload = () => resolve(reader.result.split(",")[1]);
        reader.readAsDataURL(blob);
      });
    });
    fs.writeFileSync(at(name), Buffer.from(base64, "base64"));
    return rgbOf(at(name));
  };
  const statusText = () => page.$eval("#status", (s) => s.textContent);

  // Browse: the set's path typed in, the position from its name, alpha from its capture.
  let count = await shown();
  await page.type("#f-logo", stem + "0.bmp");
  await page.keyboard.press("Enter");
  await page.waitForFunction(() => document.getElementById("r-black").value !== "N/A");
  await waitAfter(count);
  let s = await settings();
  check(s.x === logoX && s.y === logoY, `Browse took the position from the name (${s.x}, ${s.y})`);
  check(await page.$eval("#r-white", (o) => o.value) === "(255,255,255)", "the white key colour is shown");
  check(await page.$eval("#f-white", (i) => i.disabled), "White level is greyed with a white capture");

  // A frame well inside the run, and alpha stepped down with the keyboard.
  count = await shown();
  await page.click("#frame-number", { clickCount: 3 });
  await page.keyboard.type("23");
  await waitAfter(count);
  // Zero clears the blurs; End takes alpha to 255, where the interpolation fields grey.
  count = await shown();
  await page.click("#zero");
  await waitAfter(count);
  s = await settings();
  check(s.blur === 0 && s.blur3 === 0 && s["bitmap-blur"] === 0 && s.threshold1 > 0, "Zero clears the blurs alone");
  const alpha = 'input[type="range"][aria-label="Alpha"]';
  count = await shown();
  await page.focus(alpha);
  await page.keyboard.press("End");
  await waitAfter(count);
  check((await settings()).alpha === 255, "End takes alpha to 255");
  check(await page.$eval("#f-threshold1", (i) => i.disabled) && await page.$eval("#f-scene", (i) => i.disabled),
    "the interpolation fields are greyed at 255");
  await page.screenshot({ path: at("page.png") });

  // Stepped back down with the arrow keys: the interpolation runs again.
  count = await shown();
  for (let i = 0; i < 3; i++) await page.keyboard.press("ArrowLeft");
  await waitAfter(count);
  s = await settings();
  check(s.alpha === 252, `the arrow keys step alpha (${s.alpha})`);
  check(!(await page.$eval("#f-threshold1", (i) => i.disabled)), "the interpolation fields are enabled below 255");

  // The after picture against the frame pendra process writes losslessly.
  const pageAfter = await afterPicture("after-23.png");
  execFileSync(pendra, ["process", clip, at("process.mkv"), "-y", "--codec", "ffv1",
    ...settingsArgs(s)], { stdio: "inherit" });
  const processed = rgbOf(at("process.mkv"), 23);
  check(pageAfter.length === 640 * 360 * 3 && pageAfter.equals(processed),
    "the after picture equals pendra process's frame 23 pixel for pixel");
  check(!pageAfter.equals(rgbOf(clip, 23)), "and differs from the frame as decoded");

  // Drag the rectangle 60 screen pixels right and 30 down.
  const rect = await page.$("#after-box .rect");
  const box = await rect.boundingBox();
  const scale = await page.$eval("#after", (img) => img.clientWidth / 640);
  count = await shown();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width / 2 + 60, box.y + box.height / 2 + 30, { steps: 12 });
  await page.mouse.up();
  await waitAfter(count);
  s = await settings();
  const wantX = logoX + 60 / scale, wantY = logoY + 30 / scale;
  check(Math.abs(s.x - wantX) <= 1 && Math.abs(s.y - wantY) <= 1,
    `dragging moved the rectangle to ${s.x}, ${s.y} (about ${wantX.toFixed(1)}, ${wantY.toFixed(1)})`);
  check(await page.$eval("#f-x", (i) => Number(i.value)) === s.x, "the X field follows the drag");
  const draggedAfter = await afterPicture("after-dragged.png");

  // Save, then replay the saved job.
  await page.click("#save");
  await page.waitForFunction(() => /Saved|cannot|refus/.test(document.getElementById("status").textContent));
  check((await statusText()).startsWith("Saved"), "Save: " + (await statusText()));
  check(fs.existsSync(job), "the job file exists");
  execFileSync(pendra, ["process", clip, at("replay.mkv"), "-y", "--codec", "ffv1", "--job", job,
    ...runSettingsArgs(s)], { stdio: "inherit" });
  check(rgbOf(at("replay.mkv"), 23).equals(draggedAfter), "the saved job replays to the page's after picture");

  // A reload comes back with the settings as they were.
  const kept = s;
  await page.reload();
  await page.waitForSelector("body.ready");
  s = await settings();
  check(s.x === kept.x && s.y === kept.y && s.alpha === kept.alpha && s.logo === kept.logo,
    "a reload keeps the settings");
  check(await page.$eval("#frame-number", (i) => i.value) === "23", "and the frame");
  check(await page.$eval("#r-white", (o) => o.value) === "(255,255,255)", "and the read-outs");

  // The analysis: its progress, candidates and opacity map, and its set put to use.
  await page.click("#analyze");
  await page.waitForFunction(() => !document.getElementById("analysis-result").hidden ||
    document.getElementById("status").classList.contains("bad"), { timeout: 120000 });
  check(!(await page.$eval("#status", (e) => e.classList.contains("bad"))), "the analysis: " + (await statusText()));
  check(await page.$$eval("#candidates li", (l) => l.length) > 0, "it lists its candidates");
  const mapShown = await page.waitForFunction(() => document.getElementById("opacity-map").naturalWidth > 0,
    { timeout: 10000 }).then(() => true, () => false);
  check(mapShown, "its opacity map is shown");
  count = await shown();
  await page.click("#use-analysis");
  await page.waitForFunction((old) => settings.logo !== old, {}, s.logo);
  await waitAfter(count);
  s = await settings();
  check(Math.abs(s.x - logoX) <= 4 && Math.abs(s.y - logoY) <= 4 && s.logo.includes("clip-logo"),
    `the set found is in use at ${s.x}, ${s.y}: ${s.logo}`);

  await page.select("#view", "overlay");
  await page.waitForFunction(() => document.getElementById("pictures").className === "overlay");
  await page.screenshot({ path: at("page-overlay.png") });
  console.log("screenshots: " + at("page.png") + ", " + at("page-overlay.png"));
  check(requestsElsewhere.length === 0, "nothing was fetched from elsewhere " + requestsElsewhere.join(" "));

  await page.click("#stop");
  check((await serverExit) === 0, "Stop ends the server with exit code 0");
} catch (e) {
  check(false, "the test stopped: " + (e.stack || e));
} finally {
  await browser.close();
  if (server.exitCode === null) server.kill();
  fs.rmSync(profile, { recursive: true, force: true });
}
console.log(failures ? `${failures} failed` : "all passed");
process.exit(failures ? 1 : 0);
