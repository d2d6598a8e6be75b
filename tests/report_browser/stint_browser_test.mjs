// Opens a stint page written by `corvel-lap stint --html --lap-reports` in Debian's headless
// chromium (driven by playwright-core) and checks what a user would see: the page draws its
// chart and map, raises no script error and asks for nothing but its own file; the corner
// table holds the data's corners with the ones to work on marked; the map's legend names each
// lap the ideal lap is made of; and every lap's link opens its written report, which draws.
// Usage: node stint_browser_test.mjs STINT.html [--screenshot PNG]
import { chromium } from "playwright-core";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";

const [stintPage, flag, screenshot] = process.argv.slice(2);
if (!stintPage || (flag !== undefined && (flag !== "--screenshot" || !screenshot))) {
  console.error("usage: stint_browser_test.mjs STINT.html [--screenshot PNG]");
  process.exit(2);
}

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", "--no-first-run", "--disable-quic"],
});

let failures = 0;
const check = (ok, what) => {
  if (!ok) { failures++; console.log("  FAIL " + what); }
};

// Opens `file` in a fresh context that lets through only the file itself (and, when given,
// the files `allowed` names); gives the page and the errors and foreign requests seen.
async function open(file, allowed = () => false) {
  const context = await browser.newContext({ viewport: { width: 1400, height: 1000 } });
  const page = await context.newPage();
  const own = pathToFileURL(path.resolve(file)).href;
  const seen = { errors: [], foreign: [] };
  page.on("pageerror", (e) => seen.errors.push("pageerror: " + e.message));
  page.on("console", (m) => { if (m.type() === "error") seen.errors.push("console: " + m.text()); });
  await context.route("**/*", (route) => {
    const url = route.request().url();
    if (url === own || allowed(url)) return route.continue();
    seen.foreign.push(url);
    return route.abort();
  });
  await page.goto(own);
  await page.waitForFunction(() => document.body.dataset.report !== "loading", null, { timeout: 30000 });
  const state = await page.evaluate(() => ({ report: document.body.dataset.report, charts: document.body.dataset.charts,
                                             error: document.getElementById("error").textContent }));
  return { context, page, seen, state };
}

// Pixels of a canvas brighter than the page's dark background: something was drawn.
const litPixels = (page, selector) => page.evaluate((sel) => {
  const c = document.querySelector(sel);
  if (!c) return 0;
  const data = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
  let lit = 0;
  for (let k = 0; k < data.length; k += 4) if (data[k] + data[k + 1] + data[k + 2] > 200) lit++;
  return lit;
}, selector);

console.log("stint page: " + stintPage);
const { context, page, seen, state } = await open(stintPage, (url) => url.endsWith("-vs-best.html"));
check(state.report === "ready", `data-report is ${state.report} (${state.error})`);
check(state.charts === "2", `data-charts is ${state.charts}, expected 2`);
const blob = await page.evaluate(() => JSON.parse(document.getElementById("stint-data").textContent));
check(blob.laps.length > 1, `${blob.laps.length} laps in the data`);
check(await litPixels(page, "#times canvas") > 500, "the lap-time chart is empty");
check(await litPixels(page, "#ideal-map") > 500, "the map is empty");

const cornerRows = await page.locator("#stint-corners tr.corner").count();
check(cornerRows > 0 && cornerRows === blob.corners.length, `corner rows ${cornerRows}, corners in the data ${blob.corners.length}`);
const marked = await page.evaluate(() => [...document.querySelectorAll("#stint-corners tr.work-on")].map((tr) => Number(tr.dataset.number)));
check(JSON.stringify(marked.slice().sort()) === JSON.stringify(blob.workOn.slice().sort()),
      `corners marked to work on ${marked}, in the data ${blob.workOn}`);
const sources = new Set(blob.idealParts.map((p) => p.fromLap));
const legend = await page.locator("#ideal-legend .swatch").count();
check(blob.idealParts.length > 0 && legend === sources.size, `legend has ${legend} laps, the ideal lap comes from ${sources.size}`);

// Hovering the chart names a lap.
const over = await page.locator("#times .u-over").boundingBox();
await page.mouse.move(over.x + over.width * 0.5, over.y + over.height / 2);
const readout = await page.locator("#times-readout").textContent();
check(/^#\d+ /.test(readout), `hovering the chart shows "${readout}"`);

// Every lap has a link to a written report; the best lap's and another open and draw (every
// report is the lap report itself, tested on its own).
const links = await page.evaluate(() => [...document.querySelectorAll("#stint-laps a")].map((a) => a.href));
const withReport = blob.laps.filter((l) => l.report).length;
check(links.length === withReport && withReport === blob.laps.length,
      `${links.length} links, ${withReport} reports written, ${blob.laps.length} laps`);
for (const [k, href] of links.entries()) {
  const file = fileURLToPath(href);
  check(fs.existsSync(file), `link ${href} leads nowhere`);
  const best = k === blob.bestLap;
  if (!fs.existsSync(file) || !(best || k === (blob.bestLap === 0 ? 1 : 0))) continue;
  const report = await open(file);
  check(report.state.report === "ready", `${path.basename(file)}: data-report is ${report.state.report} (${report.state.error})`);
  // A lap against the best lap has the delta panel; the best lap's own report does not.
  check(report.state.charts === (best ? "7" : "8"), `${path.basename(file)}: data-charts is ${report.state.charts}`);
  check(report.seen.errors.length === 0, `${path.basename(file)}: script errors: ` + report.seen.errors.join("; "));
  await report.context.close();
}
// Clicking a link in the page itself opens the report.
if (links.length > 1) {
  const second = page.locator("#stint-laps a").nth(1);
  await Promise.all([page.waitForURL((url) => url.href.endsWith("-vs-best.html")), second.click()]);
  await page.waitForFunction(() => document.body.dataset.report === "ready", null, { timeout: 30000 });
  await page.goBack();
  await page.waitForFunction(() => document.body.dataset.report === "ready", null, { timeout: 30000 });
}
check(seen.errors.length === 0, "script errors: " + seen.errors.join("; "));
check(seen.foreign.length === 0, "requests besides the page and its reports: " + seen.foreign.join(", "));

if (screenshot) {
  await page.evaluate(() => window.scrollTo(0, 0));
  const box = await page.locator("#times .u-over").boundingBox();
  await page.mouse.move(box.x + box.width * 0.42, box.y + box.height / 2);
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log("  screenshot: " + screenshot);
}
await context.close();
await browser.close();
console.log(failures === 0 ? `the stint page and its ${links.length} lap reports draw` : `${failures} check(s) failed`);
process.exit(failures === 0 ? 0 : 1);
