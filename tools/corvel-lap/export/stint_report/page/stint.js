// corvel-lap stint page: reads the stint's data blob and draws the headline figures, the lap
// times over the stint (uPlot), the best lap's map coloured by where the ideal lap comes from,
// and the corner, ideal-part and lap tables. body[data-report] is "ready" once everything is
// drawn, "error" (with the reason shown) when the page cannot draw; body[data-charts] counts
// what was drawn on canvases (the chart and the map).
(function () {
  "use strict";
  const BEST = "#ffb020", MEDIAN = "#4fb3ff", IDEAL = "#2ecc71", OUT = "#8a93a3", LAP = "#d8dde6";
  const GRID = "#2a303b", AXIS = "#8a93a3";
  // Colours of the laps the ideal lap is made of, in stint order; told apart on a dark map.
  const PALETTE = ["#ffb020", "#4fb3ff", "#2ecc71", "#ff5a5a", "#c58cff", "#3fd0c9", "#f78fb3",
                   "#d4e157", "#ff8a3d", "#8fa8ff", "#a1887f", "#ffffff"];

  function fail(reason) {
    document.body.dataset.report = "error";
    const box = document.getElementById("error");
    box.hidden = false;
    box.textContent = "This stint page cannot be drawn: " + reason;
  }
  window.addEventListener("error", (e) => fail(e.message || "script error"));

  const el = (tag, cls, text) => {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  };
  const finite = (v) => typeof v === "number" && isFinite(v);
  function lapTime(s) {
    if (!finite(s)) return "–";
    const m = Math.floor(s / 60), rest = s - 60 * m;
    return (m > 0 ? m + ":" + (rest < 10 ? "0" : "") : "") + rest.toFixed(3);
  }
  const fmt = (v, digits, unit) => (finite(v) ? v.toFixed(digits) + (unit || "") : "–");
  const signed = (v, digits) => (finite(v) ? (v > 0 ? "+" : v < 0 ? "−" : "±") + Math.abs(v).toFixed(digits) : "–");
  const lapName = (data, i) => "#" + (i + 1) + " " + data.laps[i].short;

  // Laps of one stint share most of their names (prefix, track, car): the page shows what
  // tells them apart, from the last word boundary before they differ; the full name on hover.
  function shortenLabels(laps) {
    const labels = laps.map((l) => String(l.label));
    let common = labels.length > 1 ? labels[0] : "";
    for (const l of labels) while (!l.startsWith(common)) common = common.slice(0, -1);
    const cut = common.lastIndexOf("-") + 1;
    laps.forEach((l, i) => { l.short = labels[i].slice(cut) || labels[i]; });
  }
  const cornerLabel = (c) => "T" + c.number + (c.name ? " " + c.name : "");

  // ---- figures ----
  function figure(cls, title, value, meta) {
    const card = el("div", "figure " + cls);
    card.append(el("div", "meta", title), el("div", "time", value));
    if (meta) card.append(el("div", "meta", meta));
    return card;
  }

  function figures(data) {
    const box = document.getElementById("figures");
    const counted = data.laps.filter((l) => l.included).length;
    const best = finite(data.bestLap) ? data.laps[data.bestLap] : null;
    box.append(figure("best", "Best lap", lapTime(data.bestLapS), best ? lapName(data, data.bestLap) : "no counted lap"));
    box.append(figure("median", "Median lap (typical pace)", lapTime(data.medianLapS),
                      finite(data.medianLapS) && finite(data.bestLapS) ? signed(data.medianLapS - data.bestLapS, 3) + " s to the best" : ""));
    box.append(figure("ideal", "Ideal lap", lapTime(data.idealLapS),
                      finite(data.idealGapS) ? data.idealGapS.toFixed(3) + " s within the best lap" : ""));
    box.append(figure("", "Lap-time spread (std dev)", fmt(data.lapTimeStdDevS, 3, " s"),
                      finite(data.lapTimeStdDevPct) ? data.lapTimeStdDevPct.toFixed(2) + " % of the median" : "needs two counted laps"));
    box.append(figure("", "Laps", counted + " of " + data.laps.length, "counted in the figures"));
    const warnings = document.getElementById("warnings");
    for (const w of data.warnings || []) warnings.append(el("div", "warn", w));
  }

  // ---- lap times over the stint ----
  function timesChart(data) {
    const host = document.getElementById("times");
    const n = data.laps.length;
    const xs = data.laps.map((_, i) => i + 1);
    const counted = data.laps.map((l) => (l.included && finite(l.lapTimeS) ? l.lapTimeS : null));
    const others = data.laps.map((l) => (!l.included && finite(l.lapTimeS) ? l.lapTimeS : null));
    const level = (v) => xs.map(() => (finite(v) ? v : null));
    // The scale follows the counted laps and the lines; a slow out-lap is listed, not allowed
    // to flatten the chart.
    const shown = counted.concat([data.bestLapS, data.medianLapS, data.idealLapS]).filter(finite);
    const all = counted.concat(others).filter(finite);
    let lo = Math.min(...(shown.length ? shown : all)), hi = Math.max(...(shown.length ? shown : all));
    if (shown.length) hi = Math.max(hi, Math.min(Math.max(...all), data.bestLapS * 1.08 || hi));
    if (!finite(lo) || !finite(hi)) { lo = 0; hi = 1; }
    const pad = Math.max(0.2, 0.08 * (hi - lo));
    const beyond = all.filter((v) => v > hi + pad).length;
    const line = (label, stroke, dash) => ({ label, stroke, width: 1.5, dash, points: { show: false } });
    const dots = (label, stroke, fill, size) => ({ label, stroke, fill, width: 1.5, spanGaps: true,
                                                  points: { show: true, size, stroke, fill } });
    const series = [
      { label: "lap" },
      dots("counted lap", LAP, "#1a1e26", 8),
      Object.assign(dots("not counted", OUT, "#12151b", 7), { paths: () => null }),
      line("best", BEST, []), line("median", MEDIAN, [6, 4]), line("ideal", IDEAL, [2, 3]),
    ];
    const readout = document.getElementById("times-readout");
    const show = (i) => {
      for (const tr of document.querySelectorAll("#stint-laps tr.hover")) tr.classList.remove("hover");
      if (i === null || i === undefined || i < 0 || i >= n) { readout.textContent = "Hover the chart to see a lap."; return; }
      const l = data.laps[i];
      readout.textContent = lapName(data, i) + " · " + lapTime(l.lapTimeS) + " · " +
        (finite(l.gapS) ? signed(l.gapS, 3) + " s to the best · " : "") + (l.included ? "counted" : "not counted: " + (l.note || ""));
      const row = document.querySelector('#stint-laps tr[data-lap="' + i + '"]');
      if (row) row.classList.add("hover");
    };
    const width = Math.max(360, host.clientWidth - 4);
    const u = new uPlot({
      width, height: 360, series, legend: { show: false },
      scales: { x: { time: false, range: [0.5, n + 0.5] }, y: { range: [lo - pad, hi + pad] } },
      axes: [
        { stroke: AXIS, grid: { stroke: GRID, width: 1 }, ticks: { stroke: GRID }, size: 30,
          incrs: [1, 2, 5, 10, 20, 50, 100], values: (_, ticks) => ticks.map((t) => (Number.isInteger(t) ? "#" + t : "")) },
        { stroke: AXIS, grid: { stroke: GRID, width: 1 }, ticks: { stroke: GRID }, size: 72,
          values: (_, ticks) => ticks.map((t) => lapTime(t).replace(/0+$/, "").replace(/\.$/, ".0")) },
      ],
      cursor: { drag: { x: false, y: false }, points: { size: 10 }, y: false },
      hooks: { setCursor: [(p) => show(p.cursor.idx)] },
    }, [xs, counted, others, level(data.bestLapS), level(data.medianLapS), level(data.idealLapS)], host);
    // A click on the chart opens the lap's report when it was written.
    u.over.addEventListener("click", () => {
      const i = u.cursor.idx;
      if (i !== null && i !== undefined && data.laps[i] && data.laps[i].report) {
        window.location.href = encodeURIComponent(data.laps[i].report);
      }
    });
    show(null);
    const note = document.getElementById("times-note");
    const key = (colour, text, dashed) => {
      const s = el("span", "key");
      const sw = el("span", "swatch");
      sw.style.background = dashed ? "transparent" : colour;
      sw.style.border = "2px " + (dashed ? "dashed " : "solid ") + colour;
      s.append(sw, text + "   ");
      return s;
    };
    note.append(key(LAP, "counted laps"), key(OUT, "not counted"), key(BEST, "best"), key(MEDIAN, "median", true),
                key(IDEAL, "ideal", true));
    if (beyond > 0) note.append(el("span", "", " · " + beyond + " slower lap" + (beyond > 1 ? "s" : "") + " above the chart, in the table"));
    return u;
  }

  // ---- the ideal lap on the map ----
  // The part of the ideal lap at `d` (metres on the axis); a part across the line may start
  // below 0 or end beyond the track's length.
  function partAt(parts, d, length) {
    for (const p of parts) {
      for (const at of finite(length) ? [d, d - length, d + length] : [d]) {
        if (at >= p.startM && at < p.endM) return p;
      }
    }
    return null;
  }

  function colourOfLaps(data) {
    const laps = [...new Set(data.idealParts.map((p) => p.fromLap).filter(finite))].sort((a, b) => a - b);
    const colours = new Map(laps.map((lap, k) => [lap, PALETTE[k % PALETTE.length]]));
    return { laps, colour: (lap) => colours.get(lap) || "#555" };
  }

  function idealMap(data, lapColours) {
    const canvas = document.getElementById("ideal-map");
    const legend = document.getElementById("ideal-legend");
    const m = data.path;
    const dpr = window.devicePixelRatio || 1;
    const W = canvas.clientWidth, H = canvas.clientHeight;
    canvas.width = W * dpr; canvas.height = H * dpr;
    const ctx = canvas.getContext("2d");
    ctx.scale(dpr, dpr);
    if (!m || !m.x.length) {
      legend.append(el("div", "note", "The best lap has no path to draw."));
      return;
    }
    let minX = Infinity, maxX = -Infinity, minZ = Infinity, maxZ = -Infinity;
    for (let i = 0; i < m.x.length; i++) {
      minX = Math.min(minX, m.x[i]); maxX = Math.max(maxX, m.x[i]);
      minZ = Math.min(minZ, m.z[i]); maxZ = Math.max(maxZ, m.z[i]);
    }
    const pad = 18;
    const scale = Math.min((W - 2 * pad) / Math.max(maxX - minX, 1), (H - 2 * pad) / Math.max(maxZ - minZ, 1));
    const offX = (W - scale * (maxX - minX)) / 2, offZ = (H - scale * (maxZ - minZ)) / 2;
    // Seen from above: x to the right, z upwards.
    const px = (i) => offX + scale * (m.x[i] - minX);
    const pz = (i) => H - (offZ + scale * (m.z[i] - minZ));
    const gap = Math.max(25, 0.02 * (m.d[m.d.length - 1] - m.d[0]));
    ctx.lineCap = "round";
    // A dark casing first, so touching parts of different colours stay apart.
    ctx.lineWidth = 8; ctx.strokeStyle = "#0b0d11";
    ctx.beginPath();
    for (let i = 0; i < m.x.length; i++) {
      if (i === 0 || m.d[i] - m.d[i - 1] > gap) ctx.moveTo(px(i), pz(i)); else ctx.lineTo(px(i), pz(i));
    }
    ctx.stroke();
    ctx.lineWidth = 5;
    for (let i = 1; i < m.x.length; i++) {
      if (m.d[i] - m.d[i - 1] > gap) continue;  // a jump in the path (lost positions) is not drawn
      const part = partAt(data.idealParts, (m.d[i] + m.d[i - 1]) / 2, data.trackLengthM);
      ctx.strokeStyle = part && finite(part.fromLap) ? lapColours.colour(part.fromLap) : "#555";
      ctx.beginPath(); ctx.moveTo(px(i - 1), pz(i - 1)); ctx.lineTo(px(i), pz(i)); ctx.stroke();
    }
    ctx.fillStyle = "#fff"; ctx.beginPath(); ctx.arc(px(0), pz(0), 4, 0, 2 * Math.PI); ctx.fill();
    // Corner numbers beside their apexes, away from the centre; the corners to work on ringed.
    ctx.font = "11px system-ui, sans-serif"; ctx.textAlign = "center"; ctx.textBaseline = "middle";
    const floorIndex = (d) => { let k = 0; while (k + 1 < m.d.length && m.d[k + 1] <= d) k++; return k; };
    const placed = [];
    for (const c of data.corners) {
      if (!finite(c.apexM)) continue;
      const i = floorIndex(c.apexM);
      const ax = px(i), az = pz(i), dx = ax - W / 2, dz = az - H / 2, len = Math.hypot(dx, dz) || 1;
      if (finite(c.workOnRank)) {
        ctx.strokeStyle = BEST; ctx.lineWidth = 2;
        ctx.beginPath(); ctx.arc(ax, az, 8, 0, 2 * Math.PI); ctx.stroke();
      }
      // Close corners (a chicane) would print their numbers over each other: a label moves
      // further out until it clears the ones already placed.
      let out = 15, lx = ax + out * dx / len, lz = az + out * dz / len;
      while (out < 60 && placed.some(([px2, pz2]) => Math.abs(px2 - lx) < 18 && Math.abs(pz2 - lz) < 12)) {
        out += 12; lx = ax + out * dx / len; lz = az + out * dz / len;
      }
      lx = Math.min(Math.max(lx, 12), W - 12); lz = Math.min(Math.max(lz, 8), H - 8);  // inside the canvas
      placed.push([lx, lz]);
      ctx.fillStyle = finite(c.workOnRank) ? BEST : "#e8ecf2";
      ctx.fillText("T" + c.number, lx, lz);
    }
    if (!data.idealParts.length) {
      legend.append(el("div", "note", "No ideal lap: the stint has no counted lap."));
      return;
    }
    for (const lap of lapColours.laps) {
      const parts = data.idealParts.filter((p) => p.fromLap === lap);
      const row = el("div", "");
      const sw = el("span", "swatch");
      sw.style.background = lapColours.colour(lap);
      row.append(sw, lapName(data, lap) + " · " + parts.length + " part" + (parts.length > 1 ? "s" : ""));
      legend.append(row);
    }
    const ringed = el("div", "note", "Ringed: the corners to work on.");
    if (data.workOn.length) legend.append(ringed);
  }

  // ---- tables ----
  function row(table, cells, cls) {
    const tr = el("tr", cls || "");
    for (const [text, c] of cells) tr.append(el("td", c || "", text));
    table.append(tr);
    return tr;
  }
  function head(table, names) {
    const tr = el("tr");
    names.forEach((h, k) => tr.append(el("th", k < 2 ? "text" : "", h)));
    table.append(tr);
  }

  function cornerTable(data) {
    if (!data.corners.length) return;
    document.getElementById("corner-box").hidden = false;
    document.getElementById("corner-note").textContent =
      "The best lap's corners, numbered from the line. Best and median corner times over the laps that cover the corner; " +
      "the spreads are sample standard deviations. Marked: the corners with the most time between their best and their median.";
    const table = document.getElementById("stint-corners");
    head(table, ["corner", "name", "apex (m)", "best (s)", "median (s)", "median − best (s)", "std dev time (s)",
                 "std dev brake point (m)", "std dev min speed (km/h)", "work on"]);
    for (const c of data.corners) {
      const tr = row(table, [
        ["T" + c.number, "text"], [c.name || "", "text"], [fmt(c.apexM, 0)], [fmt(c.bestS, 3)], [fmt(c.medianS, 3)],
        [finite(c.medianS) && finite(c.bestS) ? (c.medianS - c.bestS).toFixed(3) : "–"], [fmt(c.timeStdDevS, 3)],
        [fmt(c.brakePointStdDevM, 1)], [fmt(c.minSpeedStdDevKmh, 1)],
        [finite(c.workOnRank) ? "★ " + c.workOnRank : "", "flag"]], finite(c.workOnRank) ? "corner work-on" : "corner");
      tr.dataset.number = String(c.number);
    }
  }

  function partsTable(data, lapColours) {
    if (!data.idealParts.length) return;
    document.getElementById("parts-box").hidden = false;
    const table = document.getElementById("ideal-parts");
    head(table, ["part", "from lap", "from (m)", "to (m)", "best (s)"]);
    for (const p of data.idealParts) {
      const tr = row(table, [[p.kind === "corner" ? cornerLabel(data.corners.find((c) => c.number === p.number) || p) : "straight", "text"],
                             ["", "text"], [fmt(p.startM, 0)], [fmt(p.endM, 0)], [fmt(p.bestS, 3)]]);
      const sw = el("span", "swatch");
      sw.style.background = lapColours.colour(p.fromLap);
      tr.children[1].append(sw, finite(p.fromLap) ? lapName(data, p.fromLap) : "–");
    }
    row(table, [["ideal lap", "text"], ["", "text"], [""], [""], [fmt(data.idealLapS, 3)]], "total");
  }

  function lapTable(data) {
    const table = document.getElementById("stint-laps");
    document.getElementById("laps-note").textContent = data.reportsAsked
      ? "In the order they were driven. Each report compares the lap with the best lap (the best lap's shows it alone)."
      : "In the order they were driven. corvel-lap stint --lap-reports also writes each lap's report against the best lap.";
    head(table, ["#", "lap", "created (UTC)", "lap time", "gap (s)", "fuel (L)", "counted"].concat(data.reportsAsked ? ["report"] : []));
    data.laps.forEach((l, i) => {
      const best = i === data.bestLap;
      const tr = row(table, [[String(i + 1), "text"], [l.short + (best ? "  (best)" : ""), "text"],
                             [String(l.createdAt || "").slice(0, 19).replace("T", " ")], [lapTime(l.lapTimeS)],
                             [best ? "" : signed(l.gapS, 3)], [fmt(l.fuelUsedL, 2)],
                             [l.included ? "yes" : l.note || "no", "note-cell"]], best ? "best" : l.included ? "" : "out");
      tr.dataset.lap = String(i);
      tr.title = l.file;
      if (!data.reportsAsked) return;
      const cell = el("td", "note-cell");
      if (l.report) {
        const a = el("a", "", best ? "the best lap" : "vs best");
        a.href = encodeURIComponent(l.report);
        cell.append(a);
      } else {
        cell.textContent = "none: " + (l.reportError || "not written");
      }
      tr.append(cell);
    });
  }

  function draw() {
    if (typeof uPlot !== "function") return fail("the chart library did not load");
    let data;
    try {
      data = JSON.parse(document.getElementById("stint-data").textContent);
    } catch (e) {
      return fail("the stint data is not readable (" + e.message + ")");
    }
    if (!data || !Array.isArray(data.laps) || !Array.isArray(data.corners) || !Array.isArray(data.idealParts)) {
      return fail("the stint data is incomplete");
    }
    if (data.laps.length === 0) return fail("the stint has no laps");
    shortenLabels(data.laps);
    const lapColours = colourOfLaps(data);
    figures(data);
    lapTable(data);
    timesChart(data);
    idealMap(data, lapColours);
    cornerTable(data);
    partsTable(data, lapColours);
    document.body.dataset.charts = "2";
    document.body.dataset.report = "ready";
  }

  try {
    draw();
  } catch (e) {
    fail(e && e.message ? e.message : String(e));
  }
})();
