// SPDX-License-Identifier: MIT
'use strict';
// The density view: how often each level occurred at each frequency (a
// histogram of level over frequency of the selected detector's lines), old
// hits fading by FADE a line, so a signal that comes and goes shows as a
// faint trace under one that is always there. The grid is fixed, whatever
// the range: its columns split the plot's width (the shared axis, gaps
// between bands included), and a change of layout or detector starts it over.
(function (rfw) {
  const { LEFT, RIGHT, FONT, C } = rfw.axis;
  const { rgba, lut } = rfw.colour;
  const TOP = 22;
  const BOTTOM = 26;
  const COLS = 2048; // about a device pixel of a wide plot each
  const LEVEL_LO = -130; // dBm of the grid's first row, one row per dB
  const ROWS = 130;
  const FADE = 0.97;
  // Instead of multiplying every cell by FADE each line, a hit adds `gain`,
  // which grows by 1/FADE each line: the same picture at a line's cost.
  const RESCALE = 1e6;
  const grid = new Float32Array(COLS * ROWS);
  const NO_HITS = rgba(14, 18, 24);
  // Deep blue through green to white: more hits read as brighter.
  const LUT = lut([[0, 20, 30, 80], [0.35, 20, 130, 170], [0.65, 120, 210, 90], [0.85, 250, 220, 80], [1, 255, 255, 255]]);
  let gain = 1;
  let range = { layout: -1, det: -1 };
  let lines = 0;
  let drawn = { lines: -1, layout: -1 };
  let img = null;
  let pix = null;
  let cols = new Int32Array(0); // the grid column of each device pixel of the plot

  const view = {
    id: 'density', label: 'density: how often each level occurred, by frequency; recent lines weigh most', height: 220,
    dirty(m, f) { return f.resized || drawn.lines !== lines || drawn.layout !== m.layout; },
    draw, pointer, line,
  };
  const canvas = rfw.views.add(view);
  const ctx = canvas.getContext('2d');

  function reset(det, layout) {
    grid.fill(0);
    gain = 1;
    range = { layout, det };
  }

  // The grid column of a frequency: where the shared axis puts it.
  function column(mhz, pw) {
    return Math.floor((rfw.axis.xOf(mhz) - LEFT) / pw * COLS);
  }

  // One line was applied (model.js leaves it in m.last).
  function line(m) {
    const last = m.last;
    if (!last || last.det !== m.selected) return;
    // The line may have widened the axis: lay it out now, not at the next
    // animation frame, so that its hits land where they will be drawn.
    const first = rfw.views.list[0].canvas;
    rfw.axis.fit(m, first, window.devicePixelRatio || 1);
    if (range.det !== m.selected || range.layout !== m.layout) reset(m.selected, m.layout);
    const pw = rfw.axis.plotWidth(first, window.devicePixelRatio || 1);
    if (!(pw > 0)) return;
    gain /= FADE;
    if (gain > RESCALE) {
      for (let i = 0; i < grid.length; i++) grid[i] /= gain;
      gain = 1;
    }
    const s = last.seg;
    const step = s.width / s.n;
    for (let i = 0; i < s.n; i++) {
      const v = s.cur[i];
      if (v !== v) continue;
      const row = Math.round(v - LEVEL_LO);
      if (row < 0 || row >= ROWS) continue;
      const c0 = Math.max(0, column(s.lo + i * step, pw));
      const c1 = Math.min(COLS - 1, Math.max(c0, column(s.lo + (i + 1) * step, pw) - 1));
      for (let c = c0; c <= c1; c++) grid[row * COLS + c] += gain;
    }
    lines++;
  }

  function geometry(dpr) {
    const x0 = Math.round(LEFT * dpr);
    const y0 = Math.round(TOP * dpr);
    return { x0, y0, pw: canvas.width - Math.round(RIGHT * dpr) - x0, ph: canvas.height - Math.round(BOTTOM * dpr) - y0 };
  }

  // Everything but the picture: levels, the frequency axis and the legend.
  function frame(m, dpr) {
    const w = canvas.width / dpr;
    const h = canvas.height / dpr;
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    ctx.fillStyle = C.bg; ctx.fillRect(0, 0, w, h);
    ctx.font = FONT; ctx.textBaseline = 'middle';
    const ph = h - TOP - BOTTOM;
    ctx.textAlign = 'right'; ctx.fillStyle = C.text;
    for (let v = m.levelLo; v <= m.levelHi; v += rfw.axis.levelStep(m)) {
      ctx.fillText(String(v), LEFT - 6, TOP + (m.levelHi - v) / (m.levelHi - m.levelLo) * ph);
    }
    ctx.textAlign = 'left';
    ctx.fillText('dBm', 6, 10);
    rfw.axis.freqAxis(ctx, canvas, dpr, h - BOTTOM, h - 10);
    const bx = w - RIGHT + 10;
    const top = TOP + 14;
    const bh = ph - 14;
    for (let i = 0; i < 256; i++) {
      ctx.fillStyle = `rgb(${LUT[i] & 255},${(LUT[i] >> 8) & 255},${(LUT[i] >> 16) & 255})`;
      ctx.fillRect(bx, top + bh * (1 - (i + 1) / 256), 14, bh / 256 + 1);
    }
    ctx.fillStyle = C.text;
    ctx.textAlign = 'left'; // the frequency axis leaves it right-aligned
    ctx.fillText('hits', bx, 10);
    ctx.fillText('most', bx + 18, top + 4);
    ctx.fillText('few', bx + 18, top + bh - 4);
    ctx.setTransform(1, 0, 0, 1, 0, 0);
  }

  // Colour by the share of the busiest cell, on a square-root scale so
  // that rare levels still show.
  function draw(m, f) {
    const g = geometry(f.dpr);
    if (g.pw <= 0 || g.ph <= 0) return;
    frame(m, f.dpr);
    if (!img || img.width !== g.pw || img.height !== g.ph) {
      img = ctx.createImageData(g.pw, g.ph);
      pix = new Uint32Array(img.data.buffer);
    }
    let most = 0;
    for (let i = 0; i < grid.length; i++) if (grid[i] > most) most = grid[i];
    if (cols.length !== g.pw) cols = new Int32Array(g.pw);
    for (let x = 0; x < g.pw; x++) cols[x] = Math.min(COLS - 1, Math.floor((x + 0.5) / g.pw * COLS));
    const dbPerPix = (m.levelHi - m.levelLo) / g.ph;
    const scale = most > 0 ? 1 / most : 0;
    for (let y = 0; y < g.ph; y++) {
      const row = Math.round(m.levelHi - (y + 0.5) * dbPerPix - LEVEL_LO);
      const base = y * g.pw;
      if (row < 0 || row >= ROWS) { pix.fill(NO_HITS, base, base + g.pw); continue; }
      const cells = row * COLS;
      for (let x = 0; x < g.pw; x++) {
        const n = grid[cells + cols[x]];
        pix[base + x] = n > 0 ? LUT[Math.min(255, Math.round(255 * Math.sqrt(n * scale)))] : NO_HITS;
      }
    }
    ctx.putImageData(img, g.x0, g.y0);
    drawn = { lines, layout: m.layout };
  }

  function pointer(m, p) {
    if (!p) return null;
    const g = geometry(p.dpr);
    const dbm = m.levelHi - (p.y * p.dpr - g.y0) * (m.levelHi - m.levelLo) / g.ph;
    const row = Math.round(dbm - LEVEL_LO);
    const col = column(p.mhz, rfw.axis.plotWidth(canvas, p.dpr));
    if (row < 0 || row >= ROWS || col < 0 || col >= COLS) return 'no line here';
    return `${dbm.toFixed(0)} dBm: ${(grid[row * COLS + col] / gain).toFixed(1)} recent hits`;
  }

  rfw.density = { COLS, ROWS, clear: () => reset(-1, -1) };
})(window.rfw = window.rfw || {});
