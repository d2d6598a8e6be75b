// Opens corvel-lap reports in Debian's headless chromium (driven by playwright-core) and
// checks what a user would see: the page draws every panel, raises no script error, asks
// for nothing but its own file, and the map's car follows the cursor over a trace.
// Usage: node report_browser_test.mjs CORVEL_LAP MAKE_SYNTHETIC_LAP FIXTURES_DIR WORK_DIR
//          [--screenshot PNG LAP.bin REFERENCE.bin]
// With --screenshot the report of LAP against REFERENCE is checked too and saved as a picture.
import { chromium } from "playwright-core";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { pathToFileURL } from "node:url";

const [corvelLap, makeLap, fixtures, work, flag, screenshot, shownLap, shownReference] = process.argv.slice(2);
if (flag !== undefined && (flag !== "--screenshot" || !shownReference)) {
  console.error("usage: report_browser_test.mjs CORVEL_LAP MAKE_SYNTHETIC_LAP FIXTURES_DIR WORK_DIR [--screenshot PNG LAP.bin REFERENCE.bin]");
  process.exit(2);
}
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });

const fixture = (lap) => path.join(fixtures, fs.readdirSync(fixtures).find((f) => f.includes(`-lap${lap}-`) && f.endsWith(".bin")));
const report = (name, args) => {
  const out = path.join(work, name + ".html");
  execFileSync(corvelLap, ["report", ...args, "-o", out], { stdio: ["ignore", "ignore", "inherit"] });
  return out;
};
const synthetic = (mode) => execFileSync(makeLap, [work, mode]).toString().trim();
const withoutMetadata = () => {
  const copy = path.join(work, "no-metadata-lap.bin");
  fs.copyFileSync(fixture(1), copy);
  return copy;
};

const cases = [
  { name: "one stand-in lap", file: report("one-lap", [fixture(1)]), charts: 7, hover: true, corners: true },
  { name: "stand-in lap against a reference", file: report("comparison", [fixture(2), "--compare", fixture(1)]),
    charts: 8, hover: true, sectors: true, corners: true },
  ...(flag ? [{ name: "pictured lap against its reference", file: report("pictured", [shownLap, "--compare", shownReference]),
                charts: 8, hover: true, sectors: true, corners: true, picture: screenshot }] : []),
  { name: "lap without metadata", file: report("no-metadata", [withoutMetadata()]), charts: 7, hover: true },
  { name: "lap against a reference without metadata",
    file: report("no-metadata-reference", [fixture(2), "--compare", withoutMetadata()]), charts: 8, hover: true,
    // Its lap fraction still places it against the line, its track length measured from its path.
    deltaEnd: "Delta at the line" },
  { name: "one-sample lap", file: report("single", [synthetic("--single")]), charts: 7 },
  { name: "lap of NaN and infinite values", file: report("degenerate", [synthetic("--degenerate")]), charts: 7 },
  { name: "hostile names", file: report("hostile", [synthetic("--hostile")]), charts: 7, hostile: true },
];

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", "--no-first-run", "--disable-quic"],
  // launch() gives chromium a fresh temporary profile of its own (it refuses --user-data-dir).
});

let failures = 0;
const check = (ok, what) => {
  if (!ok) { failures++; console.log("  FAIL " + what); }
};

for (const c of cases) {
  console.log("report: " + c.name);
  const context = await browser.newContext({ viewport: { width: 1400, height: 1000 } });
  const page = await context.newPage();
  const own = pathToFileURL(c.file).href;
  const errors = [], foreign = [];
  page.on("pageerror", (e) => errors.push("pageerror: " + e.message));
  page.on("console", (m) => { if (m.type() === "error") errors.push("console: " + m.text()); });
  await context.route("**/*", (route) => {
    const url = route.request().url();
    if (url === own) return route.continue();
    foreign.push(url);
    return route.abort();
  });
  await page.goto(own);
  await page.waitForFunction(() => document.body.dataset.report !== "loading", null, { timeout: 30000 });
  const state = await page.evaluate(() => ({ report: document.body.dataset.report, charts: document.body.dataset.charts,
                                             error: document.getElementById("error").textContent }));
  check(state.report === "ready", `data-report is ${state.report} (${state.error})`);
  check(state.charts === String(c.charts), `data-charts is ${state.charts}, expected ${c.charts}`);
  check(errors.length === 0, "script errors: " + errors.join("; "));
  check(foreign.length === 0, "requests besides the file: " + foreign.join(", "));
  if (c.hover) {
    const over = page.locator(".panel .u-over").first();
    const box = await over.boundingBox();
    const carAt = async (share) => {
      await page.mouse.move(box.x + box.width * share, box.y + box.height / 2);
      return page.evaluate(() => { const s = document.getElementById("car").style; return s.left + "," + s.top; });
    };
    const a = await carAt(0.25), b = await carAt(0.6);
    check(a !== b && !a.startsWith("-100"), `map marker did not follow the cursor (${a} then ${b})`);
    const distance = await page.evaluate(() => document.querySelector("#values td.v").textContent);
    check(distance !== "–", "no distance shown under the cursor");
  }
  if (c.sectors) {
    const rows = await page.locator("#sector-table tr").count();
    const worst = await page.locator("#sector-table tr.worst").count();
    check(rows > 1, "no minisector rows");
    check(worst <= 3, `${worst} minisectors marked as worst`);
    const note = await page.locator("#delta-note").textContent();
    check(note.includes("this lap minus the reference at the same distance; positive where this lap is slower"),
          "delta convention not stated");
  }
  if (c.corners) {
    // The table lists the map's corners; the map and the panels carry their labels (drawn on
    // canvases, so read back as the labels' pixels: a panel with labels differs from one cleared).
    const rows = page.locator("#corner-table tr.corner");
    const count = await rows.count();
    check(count > 0, "no corner rows");
    const blob = await page.evaluate(() => JSON.parse(document.getElementById("lap-data").textContent).corners);
    check(blob && blob.corners.length === count, `corner rows ${count}, corners in the data ${blob && blob.corners.length}`);
    if (c.sectors) {
      const deltas = await page.evaluate(() => [...document.querySelectorAll("#corner-table tr.corner")]
        .map((tr) => Number(tr.children[5].textContent.replace("\u2212", "-").replace("\u00b1", ""))));
      check(deltas.every((d, k) => k === 0 || d <= deltas[k - 1]), "corners not sorted by time lost: " + deltas.join(" "));
      await page.locator("#corner-sort button[data-by=track]").click();
      const numbers = await page.evaluate(() => [...document.querySelectorAll("#corner-table tr.corner")].map((tr) => Number(tr.dataset.number)));
      check(numbers.every((n, k) => n === k + 1), "track order is not T1, T2, ...: " + numbers.join(" "));
    }
    const labelled = await page.evaluate(() => {
      // The labels stand in the plot area's top 14 px, below uPlot's own padding.
      const u = document.querySelector(".panel canvas"), over = document.querySelector(".panel .u-over");
      const scale = u.width / u.getBoundingClientRect().width;
      const top = Math.round((over.getBoundingClientRect().top - u.getBoundingClientRect().top) * scale);
      const data = u.getContext("2d").getImageData(0, top, u.width, Math.round(14 * scale)).data;
      let lit = 0;
      for (let k = 0; k < data.length; k += 4) if (data[k] + data[k + 1] + data[k + 2] > 200) lit++;
      return lit;
    });
    check(labelled > 0, "no corner label along the first panel's top");
    const corner = blob.corners[Math.floor(blob.corners.length / 2)];
    await page.locator(`#corner-table tr.corner[data-number="${corner.number}"]`).click();
    await page.waitForFunction(() => document.body.dataset.zoom !== undefined, null, { timeout: 5000 });
    const zoom = await page.evaluate(() => document.body.dataset.zoom);
    const [lo, hi] = (zoom || "").split(",").map(Number);
    check(lo < corner.startM && lo > corner.startM - 200 && hi > corner.endM && hi < corner.endM + 200,
          `clicking T${corner.number} (${corner.startM}-${corner.endM} m) zoomed to ${zoom}`);
    const shown = await page.evaluate(() => parseFloat(document.querySelector("#values td.v").textContent));
    check(Math.abs(shown - corner.apexM) < 20, `the cursor stands at ${shown} m, not at the apex ${corner.apexM} m`);
  }
  if (c.picture) {
    // Back to the whole lap, the cursor part-way round so the map's car and the readout show.
    await page.locator("#corner-sort button[data-by=loss]").click();
    await page.evaluate(() => window.scrollTo(0, 0));
    const over = await page.locator(".panel .u-over").first().boundingBox();
    await page.mouse.dblclick(over.x + over.width / 2, over.y + over.height / 2);
    await page.evaluate(() => window.getSelection().removeAllRanges());
    await page.mouse.move(over.x + over.width * 0.42, over.y + over.height / 2);
    await page.screenshot({ path: c.picture, fullPage: true });
    console.log("  screenshot: " + c.picture);
  }
  if (c.deltaEnd) {
    const said = await page.locator(".deltacard .meta").first().textContent();
    check(said === c.deltaEnd, `the delta's end is given as "${said}"`);
  }
  if (c.hostile) {
    check(await page.evaluate(() => window.hacked === undefined), "a name in the lap ran as script");
    const title = await page.locator("h1").textContent();
    check(title.includes("</script>"), "the hostile track name is not shown as text");
  }
  await context.close();
}
await browser.close();


console.log(failures === 0 ? `all ${cases.length} reports draw` : `${failures} check(s) failed`);
process.exit(failures === 0 ? 0 : 1);
