// corvel-lap report page: reads the lap's data blob, draws the track map and one uPlot chart
// per channel against distance, and ties them together with one cursor and one zoom.
// body[data-report] is "ready" once everything is drawn, "error" (with the reason shown)
// when the page cannot draw; body[data-charts] counts the panels drawn, the map included.
(function () {
  "use strict";
  const LAP = "#ffb020", REF = "#4fb3ff", GAIN = "#2ecc71", LOSS = "#ff5a5a";
  const GRID = "#2a303b", AXIS = "#8a93a3";

  function fail(reason) {
    document.body.dataset.report = "error";
    const box = document.getElementById("error");
    box.hidden = false;
    box.textContent = "This report cannot be drawn: " + reason;
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
  const signed = (v, digits) => (finite(v) ? (v > 0 ? "+" : v < 0 ? "−" : "±") + Math.abs(v).toFixed(digits) : "–");

  // Index of the last entry of sorted `xs` not above `x` (0 when all are above).
  function floorIndex(xs, x) {
    let lo = 0, hi = xs.length - 1;
    if (hi < 0 || !(x >= xs[0])) return 0;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (xs[mid] <= x) lo = mid; else hi = mid - 1;
    }
    return lo;
  }

  function lapCard(lap, isRef) {
    const card = el("div", "lapcard" + (isRef ? " ref" : ""));
    const m = lap.metadata;
    card.append(el("div", "meta", isRef ? "Reference" : "This lap"));
    const official = m && finite(m.lapTimeSeconds);
    card.append(el("div", "time", lapTime(official ? m.lapTimeSeconds : lap.lapTimeS)));
    // The delta stands on the lap's line-to-line time; say what it is and where the lap starts.
    if (lap.lineToLine) card.append(el("div", "meta", lap.lineToLine));
    if (lap.line) card.append(el("div", lap.lineAnchored ? "meta" : "warn", lap.line));
    (lap.lineNotes || []).slice(lap.lineAnchored ? 0 : 1).forEach((note) => card.append(el("div", "meta", note)));
    if (m) {
      card.append(el("div", "", m.trackName + (m.trackConfig ? " (" + m.trackConfig + ")" : "") + " · " + m.carName +
                                 (m.carClass ? " · " + m.carClass : "")));
      card.append(el("div", "meta", m.driverName + " · " + m.sessionType + " · lap " + m.lapNumber + " · " +
                                    String(m.createdAt).slice(0, 19).replace("T", " ") + " UTC"));
      if (m.startedMidLap) card.append(el("div", "warn", "began mid-lap"));
    }
    card.append(el("div", "meta", lap.samples + " samples · " + lap.file));
    if (lap.metadataProblem) card.append(el("div", "warn", lap.metadataProblem));
    if (lap.pitLane) card.append(el("div", "warn", "in the pit lane for part of the lap"));
    if (lap.invalidated) card.append(el("div", "warn", "invalidated"));
    return card;
  }

  function header(data) {
    const laps = document.getElementById("laps");
    laps.append(lapCard(data.lap, false));
    if (!data.reference) return;
    laps.append(lapCard(data.reference, true));
    const card = el("div", "lapcard deltacard");
    card.append(el("div", "meta", data.deltaEndsAtLine === false && finite(data.deltaToM)
      ? "Delta at " + data.deltaToM.toFixed(0) + " m (the end of the distance both laps cover)"
      : "Delta at the line"));
    const d = data.deltaAtLineS;
    card.append(el("div", "time " + (d > 0 ? "slower" : d < 0 ? "faster" : ""), signed(d, 3) + " s"));
    if (finite(data.officialDeltaS)) {
      card.append(el("div", "meta", "official difference " + signed(data.officialDeltaS, 3) + " s"));
    }
    card.append(el("div", "meta convention", convention(data)));
    laps.append(card);
  }

  // The delta's wording comes with the data, from the comparison that computed it.
  const convention = (data) => "Delta: " + (data.deltaConvention ||
    "this lap minus the reference at the same distance; positive where this lap is slower") + ".";

  // ---- panels ----
  function panelDefs(data) {
    const c = data.channels, r = data.reference && data.reference.channels;
    const s = (label, values, stroke, extra) => Object.assign({ label, values, stroke, width: 1.5 }, extra || {});
    const ref = (label, values, stroke) => s(label, values, stroke, { dash: [5, 3], width: 1.2 });
    const defs = [
      { title: "Speed (km/h)", series: [s("speed", c.speed, LAP)].concat(r ? [ref("ref speed", r.speed, REF)] : []) },
      { title: "Throttle / brake (%)", range: [0, 100],
        series: [s("throttle", c.throttle, GAIN), s("brake", c.brake, LOSS)].concat(
          r ? [ref("ref throttle", r.throttle, "#8fe3b0"), ref("ref brake", r.brake, "#ffa3a3")] : []) },
      { title: "Steering (%)", series: [s("steering", c.steering, LAP)].concat(r ? [ref("ref steering", r.steering, REF)] : []) },
      { title: "Gear", stepped: true, series: [s("gear", c.gear, LAP)].concat(r ? [ref("ref gear", r.gear, REF)] : []) },
      { title: "RPM", series: [s("rpm", c.rpm, LAP)].concat(r ? [ref("ref rpm", r.rpm, REF)] : []) },
      { title: "Lateral / longitudinal g", series: [s("lat g", c.latG, "#c58cff"), s("lon g", c.lonG, "#3fd0c9")] },
    ];
    if (r) {
      defs.push({ title: "Delta (s). " + convention(data),
                  series: [s("delta", data.deltaS, "#f0f0f0", { fill: "rgba(255,90,90,0.12)" })], delta: true });
    }
    return defs;
  }

  // ---- corners ----
  const cornerList = (data) => (data.corners && Array.isArray(data.corners.corners) ? data.corners.corners : []);
  const cornerLabel = (c) => "T" + c.number + (c.name ? " " + c.name : "");

  // A faint line at each apex and its label at the top of the panel: the corners along every
  // distance axis.
  function drawCornerMarks(u, corners) {
    const ctx = u.ctx, dpr = window.devicePixelRatio || 1;
    const { left, top, width, height } = u.bbox;
    const { min, max } = u.scales.x;
    ctx.save();
    ctx.font = (10 * dpr) + "px system-ui, sans-serif";
    ctx.textAlign = "center";
    ctx.textBaseline = "top";
    for (const c of corners) {
      if (!finite(c.apexM) || c.apexM < min || c.apexM > max) continue;
      const x = Math.round(u.valToPos(c.apexM, "x", true));
      ctx.strokeStyle = "rgba(216,221,230,0.18)";
      ctx.lineWidth = dpr;
      ctx.beginPath(); ctx.moveTo(x, top); ctx.lineTo(x, top + height); ctx.stroke();
      ctx.fillStyle = AXIS;
      ctx.fillText("T" + c.number, Math.min(Math.max(x, left + 8 * dpr), left + width - 8 * dpr), top + 2 * dpr);
    }
    ctx.restore();
  }

  function makeCharts(data, onCursor) {
    const host = document.getElementById("panels");
    const width = Math.max(320, host.clientWidth - 2);
    const x = data.distanceM;
    const charts = [];
    let syncing = false;
    const sync = uPlot.sync("lap");
    for (const def of panelDefs(data)) {
      const box = el("div", "panel");
      box.append(el("div", "title", def.title));
      host.append(box);
      const series = [{ label: "distance (m)" }].concat(def.series.map((p) => ({
        label: p.label, stroke: p.stroke, width: p.width, dash: p.dash, fill: p.fill, spanGaps: false,
        points: { show: false },
        paths: def.stepped ? uPlot.paths.stepped({ align: 1 }) : undefined,
      })));
      const opts = {
        width, height: def.delta ? 170 : 130, series, legend: { show: false },
        scales: { x: { time: false }, y: def.range ? { range: def.range } : {} },
        axes: [
          { stroke: AXIS, grid: { stroke: GRID, width: 1 }, ticks: { stroke: GRID }, size: 28 },
          { stroke: AXIS, grid: { stroke: GRID, width: 1 }, ticks: { stroke: GRID }, size: 50 },
        ],
        cursor: { sync: { key: sync.key, setSeries: false }, drag: { x: true, y: false }, points: { size: 6 } },
        hooks: {
          draw: [(u) => drawCornerMarks(u, cornerList(data))],
          setCursor: [(u) => onCursor(u.cursor.idx)],
          setScale: [(u, key) => {
            if (key !== "x" || syncing) return;
            syncing = true;
            const { min, max } = u.scales.x;
            for (const other of charts) if (other !== u) other.setScale("x", { min, max });
            syncing = false;
          }],
        },
      };
      if (def.delta) {
        opts.series[1].fill = undefined;
        opts.scales.y = { range: (u, lo, hi) => { const m = Math.max(Math.abs(lo || 0), Math.abs(hi || 0), 0.05); return [-m * 1.1, m * 1.1]; } };
      }
      const values = [x].concat(def.series.map((p) => p.values));
      charts.push(new uPlot(opts, values, box));
    }
    return charts;
  }

  // ---- map ----
  function speedColour(t) {  // 0 slow (blue) .. 1 fast (red)
    const hue = 240 - 240 * Math.min(1, Math.max(0, t));
    return "hsl(" + hue + ",85%,55%)";
  }

  function makeMap(data) {
    const canvas = document.getElementById("map");
    const car = document.getElementById("car");
    const legend = document.getElementById("map-legend");
    const m = data.map;
    const dpr = window.devicePixelRatio || 1;
    const W = canvas.clientWidth, H = canvas.clientHeight;
    canvas.width = W * dpr; canvas.height = H * dpr;
    const ctx = canvas.getContext("2d");
    ctx.scale(dpr, dpr);
    let minX = Infinity, maxX = -Infinity, minZ = Infinity, maxZ = -Infinity;
    for (let i = 0; i < m.x.length; i++) {
      minX = Math.min(minX, m.x[i]); maxX = Math.max(maxX, m.x[i]);
      minZ = Math.min(minZ, m.z[i]); maxZ = Math.max(maxZ, m.z[i]);
    }
    const pad = 16;
    const scale = m.x.length ? Math.min((W - 2 * pad) / Math.max(maxX - minX, 1), (H - 2 * pad) / Math.max(maxZ - minZ, 1)) : 1;
    const offX = (W - scale * (maxX - minX)) / 2, offZ = (H - scale * (maxZ - minZ)) / 2;
    // Seen from above: x to the right, z upwards.
    const px = (i) => offX + scale * (m.x[i] - minX);
    const pz = (i) => H - (offZ + scale * (m.z[i] - minZ));

    const x = data.distanceM;
    const colourAt = colouring(data, legend);
    ctx.lineWidth = 4; ctx.lineCap = "round";
    const gap = Math.max(25, 0.02 * ((m.d[m.d.length - 1] || 0) - (m.d[0] || 0)));
    for (let i = 1; i < m.x.length; i++) {
      if (m.d[i] - m.d[i - 1] > gap) continue;  // a jump in the path (lost positions) is not drawn
      ctx.strokeStyle = colourAt(floorIndex(x, m.d[i]));
      ctx.beginPath(); ctx.moveTo(px(i - 1), pz(i - 1)); ctx.lineTo(px(i), pz(i)); ctx.stroke();
    }
    if (m.x.length) {  // the start
      ctx.fillStyle = "#fff"; ctx.beginPath(); ctx.arc(px(0), pz(0), 4, 0, 2 * Math.PI); ctx.fill();
    }
    // Each corner's number beside its apex, pushed away from the map's centre so it stays off the path.
    ctx.font = "11px system-ui, sans-serif"; ctx.textAlign = "center"; ctx.textBaseline = "middle";
    for (const c of cornerList(data)) {
      if (!m.x.length || !finite(c.apexM)) continue;
      const i = floorIndex(m.d, c.apexM);
      const ax = px(i), az = pz(i), dx = ax - W / 2, dz = az - H / 2, len = Math.hypot(dx, dz) || 1;
      ctx.fillStyle = AXIS; ctx.beginPath(); ctx.arc(ax, az, 2, 0, 2 * Math.PI); ctx.fill();
      ctx.fillStyle = "#e8ecf2";
      ctx.fillText("T" + c.number, ax + 11 * dx / len, az + 11 * dz / len);
    }
    return {
      moveTo(distance) {
        if (!m.x.length || !finite(distance)) return;
        const i = floorIndex(m.d, distance);
        car.style.left = px(i).toFixed(1) + "px";
        car.style.top = pz(i).toFixed(1) + "px";
      },
    };
  }

  // Speed, or with a reference how fast the delta grows here: red where this lap loses time.
  function colouring(data, legend) {
    const speed = data.channels.speed;
    if (!data.reference) {
      let lo = Infinity, hi = -Infinity;
      for (const v of speed) if (finite(v)) { lo = Math.min(lo, v); hi = Math.max(hi, v); }
      legend.textContent = "coloured by speed: blue " + (finite(lo) ? lo : "–") + " … red " + (finite(hi) ? hi : "–") + " km/h";
      return (i) => (finite(speed[i]) ? speedColour((speed[i] - lo) / Math.max(hi - lo, 1)) : "#555");
    }
    legend.textContent = "green: this lap gains time here · red: it loses time";
    const d = data.deltaS, x = data.distanceM, n = x.length;
    const span = Math.max(10, 0.01 * ((x[n - 1] || 0) - (x[0] || 0)));
    const slope = new Float64Array(n);
    let j0 = 0, j1 = 0;
    const mags = [];
    for (let i = 0; i < n; i++) {
      while (j0 < i && x[j0] < x[i] - span) j0++;
      while (j1 < n - 1 && x[j1 + 1] <= x[i] + span) j1++;
      const a = d[j0], b = d[j1], run = x[j1] - x[j0];
      slope[i] = finite(a) && finite(b) && run > 0 ? (b - a) / run : NaN;
      if (finite(slope[i])) mags.push(Math.abs(slope[i]));
    }
    mags.sort((p, q) => p - q);
    const top = mags.length ? Math.max(mags[Math.floor(0.95 * (mags.length - 1))], 1e-6) : 1;
    return (i) => {
      const v = slope[i];
      if (!finite(v)) return "#555";
      const t = Math.min(1, Math.abs(v) / top);
      const base = v > 0 ? [255, 90, 90] : [46, 204, 113];
      const grey = [110, 116, 128];
      const mix = base.map((c, k) => Math.round(grey[k] + (c - grey[k]) * t));
      return "rgb(" + mix.join(",") + ")";
    };
  }

  // ---- values under the cursor ----
  function makeValues(data) {
    const table = document.getElementById("values");
    const c = data.channels, r = data.reference && data.reference.channels;
    const rows = [
      ["Distance", (i) => fmt(data.distanceM[i], 1, " m"), null],
      ["Lap time", (i) => lapTime(data.lapTimeS[i]), r && ((i) => lapTime(data.reference.timeAtDistanceS[i]))],
      ["Speed", (i) => fmt(c.speed[i], 0, " km/h"), r && ((i) => fmt(r.speed[i], 0, ""))],
      ["Throttle", (i) => fmt(c.throttle[i], 0, " %"), r && ((i) => fmt(r.throttle[i], 0, ""))],
      ["Brake", (i) => fmt(c.brake[i], 0, " %"), r && ((i) => fmt(r.brake[i], 0, ""))],
      ["Steering", (i) => fmt(c.steering[i], 0, " %"), r && ((i) => fmt(r.steering[i], 0, ""))],
      ["Gear", (i) => gear(c.gear[i]), r && ((i) => gear(r.gear[i]))],
      ["RPM", (i) => fmt(c.rpm[i], 0, ""), r && ((i) => fmt(r.rpm[i], 0, ""))],
      ["Lateral g", (i) => fmt(c.latG[i], 1, ""), null],
      ["Longitudinal g", (i) => fmt(c.lonG[i], 1, ""), null],
    ];
    if (r) rows.push(["Delta", (i) => signed(data.deltaS[i], 3) + " s", null]);
    const cells = rows.map(([name]) => {
      const tr = el("tr");
      tr.append(el("td", "", name));
      const v = el("td", "v", "–"), rv = el("td", "r", "");
      tr.append(v, rv);
      table.append(tr);
      return [v, rv];
    });
    return (i) => rows.forEach(([, lapValue, refValue], k) => {
      cells[k][0].textContent = lapValue(i);
      cells[k][1].textContent = refValue ? refValue(i) : "";
    });
  }
  function fmt(v, digits, unit) { return finite(v) ? v.toFixed(digits) + unit : "–"; }
  function gear(v) { return !finite(v) ? "–" : v < 0 ? "R" : v === 0 ? "N" : String(v); }

  // ---- minisectors ----
  function sectors(data) {
    if (!data.reference || !data.segments) return;
    document.getElementById("sectors").hidden = false;
    document.getElementById("delta-note").textContent =
      convention(data) + " The three minisectors where this lap loses most are marked.";
    const table = document.getElementById("sector-table");
    const head = el("tr");
    for (const h of ["#", "from (m)", "to (m)", "this lap (s)", "reference (s)", "delta (s)",
                     "min / max km/h", "ref min / max km/h", ""]) head.append(el("th", "", h));
    table.append(head);
    data.segments.forEach((s, k) => {
      const tr = el("tr", s.worst ? "worst" : "");
      const cls = s.deltaS > 0 ? "slower" : s.deltaS < 0 ? "faster" : "";
      const cells = [String(k + 1), fmt(s.startM, 0, ""), fmt(s.endM, 0, ""), fmt(s.lapS, 3, ""), fmt(s.referenceS, 3, "")];
      cells.forEach((t) => tr.append(el("td", "", t)));
      tr.append(el("td", cls, signed(s.deltaS, 3)));
      tr.append(el("td", "", fmt(s.lapMinSpeedKmh, 0, "") + " / " + fmt(s.lapMaxSpeedKmh, 0, "")));
      tr.append(el("td", "", fmt(s.referenceMinSpeedKmh, 0, "") + " / " + fmt(s.referenceMaxSpeedKmh, 0, "")));
      tr.append(el("td", "slower", s.worst ? "loses most" : ""));
      table.append(tr);
    });
  }

  function cornerTable(data, zoomTo) {
    const corners = cornerList(data);
    if (corners.length === 0) return;
    document.getElementById("corners").hidden = false;
    const comparing = !!data.reference;
    const from = data.corners.mapFrom === "reference" ? "the reference's" : "this lap's";
    document.getElementById("corner-note").textContent = comparing
      ? "Corners of " + from + " map. Differences are this lap minus the reference: brake and full-throttle " +
        "points in metres (negative: earlier), apex speed in km/h (negative: slower). Click a corner to zoom to it."
      : "Corners found from the path's curvature, numbered from the line. Click a corner to zoom to it.";
    const table = document.getElementById("corner-table");
    const heads = comparing
      ? ["corner", "", "apex (m)", "this lap (s)", "reference (s)", "delta (s)", "brake (m)", "apex (km/h)", "throttle (m)", "why"]
      : ["corner", "", "start (m)", "apex (m)", "end (m)", "min (km/h)"];
    const diff = (a, b, digits) => (finite(a) && finite(b) ? signed(a - b, digits) : "–");
    function fill(by) {
      table.textContent = "";
      const head = el("tr");
      for (const h of heads) head.append(el("th", "", h));
      table.append(head);
      const order = corners.slice();
      if (by === "loss" && comparing) order.sort((a, b) => (b.deltaS || 0) - (a.deltaS || 0));
      for (const c of order) {
        const tr = el("tr", "corner");
        tr.dataset.number = String(c.number);
        tr.append(el("td", "name", cornerLabel(c)), el("td", "", c.direction === "left" ? "L" : "R"));
        if (comparing) {
          tr.append(el("td", "", fmt(c.apexM, 0, "")), el("td", "", fmt(c.lapS, 3, "")), el("td", "", fmt(c.referenceS, 3, "")));
          tr.append(el("td", c.deltaS > 0 ? "slower" : c.deltaS < 0 ? "faster" : "", signed(c.deltaS, 3)));
          tr.append(el("td", "", diff(c.lap.brakePointM, c.reference.brakePointM, 0)),
                    el("td", "", diff(c.lap.minSpeedKmh, c.reference.minSpeedKmh, 0)),
                    el("td", "", diff(c.lap.throttlePickupM, c.reference.throttlePickupM, 0)),
                    el("td", "advice", c.advice || ""));
        } else {
          tr.append(el("td", "", fmt(c.startM, 0, "")), el("td", "", fmt(c.apexM, 0, "")), el("td", "", fmt(c.endM, 0, "")),
                    el("td", "", fmt(c.minSpeedKmh, 0, "")));
        }
        tr.addEventListener("click", () => zoomTo(c));
        table.append(tr);
      }
      for (const b of document.querySelectorAll("#corner-sort button")) b.classList.toggle("on", b.dataset.by === by);
      table.dataset.order = by;
    }
    for (const b of document.querySelectorAll("#corner-sort button")) b.addEventListener("click", () => fill(b.dataset.by));
    document.getElementById("corner-sort").hidden = !comparing;
    fill(comparing ? "loss" : "track");
  }

  // Every panel shows the corner with some metres before and after; the cursor sits on its apex.
  const kCornerMarginM = 60;
  function zoomer(data, charts, at) {
    return (c) => {
      if (!charts.length || !finite(c.startM) || !finite(c.endM)) return;
      const min = c.startM - kCornerMarginM, max = c.endM + kCornerMarginM;
      charts[0].setScale("x", { min, max });
      const i = floorIndex(data.distanceM, c.apexM);
      // uPlot applies a new scale on its next commit: place the cursor once it has.
      delete document.body.dataset.zoom;
      setTimeout(() => {
        for (const u of charts) u.setCursor({ left: u.valToPos(data.distanceM[i], "x"), top: u.bbox.height / (2 * (window.devicePixelRatio || 1)) }, false);
        at(i);
        document.body.dataset.zoom = min.toFixed(0) + "," + max.toFixed(0);
      }, 0);
      document.getElementById("panels").scrollIntoView({ block: "start" });
    };
  }

  function draw() {
    if (typeof uPlot !== "function") return fail("the chart library did not load");
    let data;
    try {
      data = JSON.parse(document.getElementById("lap-data").textContent);
    } catch (e) {
      return fail("the lap data is not readable (" + e.message + ")");
    }
    if (!data || !Array.isArray(data.distanceM) || !data.channels) return fail("the lap data is incomplete");
    if (data.distanceM.length === 0) return fail("the lap has no samples");
    header(data);
    const map = makeMap(data);
    const showValues = makeValues(data);
    const at = (i) => {
      if (i === null || i === undefined || i < 0) return;
      map.moveTo(data.distanceM[i]);
      showValues(i);
    };
    const charts = makeCharts(data, at);
    sectors(data);
    cornerTable(data, zoomer(data, charts, at));
    at(0);
    document.body.dataset.charts = String(1 + charts.length);
    document.body.dataset.report = "ready";
  }

  try {
    draw();
  } catch (e) {
    fail(e && e.message ? e.message : String(e));
  }
})();
