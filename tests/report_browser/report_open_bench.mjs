// Measures how long a report takes to open and draw in headless chromium (navigation start
// to data-report="ready"), five runs, median. Not a test: figures for docs/corvel-lap.md.
// Usage: node report_open_bench.mjs REPORT.html
import { chromium } from "playwright-core";
import fs from "node:fs";
import { pathToFileURL } from "node:url";

const file = process.argv[2];
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium", headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", "--no-first-run", "--disable-quic"],
});
const times = [];
for (let run = 0; run < 5; run++) {
  const page = await browser.newPage({ viewport: { width: 1400, height: 1000 } });
  const start = Date.now();
  await page.goto(pathToFileURL(file).href);
  await page.waitForFunction(() => document.body.dataset.report !== "loading", null, { timeout: 60000 });
  times.push(Date.now() - start);
  await page.close();
}
await browser.close();
times.sort((a, b) => a - b);
console.log(`${file}: ${(fs.statSync(file).size / 1e6).toFixed(1)} MB, open and draw median ${times[2]} ms ` +
            `(runs ${times.join(", ")} ms)`);
