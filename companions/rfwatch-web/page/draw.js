'use strict';
// Drawing of the spectrum and the waterfall. Both canvases share the left
// and right margins so that a frequency sits at the same x in both.
(function (rfw) {
  const LEFT = 56;
  const RIGHT = 72;
  const SPEC_TOP = 42;
  const SPEC_BOTTOM = 30;
  const WF_TOP = 6;
  const WF_BOTTOM = 24;
  const FONT = '12px system-ui, sans-serif';
  const C = {
    bg: '#1a2029', plot: '#0e1218', grid: '#232c38', frame: '#3a4554', text: '#aab4c3',
    chan: '#7d8ba0', cur: '#58c4f0', max: '#ff8a5c', avg: '#a6e08e', cross: '#ffffff80',
  };
  const TRACES = [['avg', C.avg, 'average'], ['max', C.max, 'max-hold'], ['cur', C.cur, 'current']];
  const NO_DATA = rgba(14, 18, 24);
  const LUT = buildLut();

  function rgba(r, g, b) { return ((255 << 24) | (b << 16) | (g << 8) | r) >>> 0; } // little-endian ImageData

  // Dark violet through red and orange to pale yellow: level reads as brightness.
  function buildLut() {
    const stops = [[0, 12, 8, 40], [0.25, 72, 18, 120], [0.5, 180, 40, 100], [0.75, 245, 130, 30], [1, 252, 250, 170]];
    const lut = new Uint32Array(256);
    for (let i = 0; i < 256; i++) {
      const t = i / 255;
      let k = 1;
      while (k < stops.length - 1 && stops[k][0] < t) k++;
      const a = stops[k - 1];
      const b = stops[k];
      const f = (t - a[0]) / (b[0] - a[0]);
      lut[i] = rgba(...[1, 2, 3].map((j) => Math.round(a[j] + (b[j] - a[j]) * f)));
    }
    return lut;
  }

  function lutCss(i) {
    const v = LUT[i];
    return `rgb(${v & 255},${(v >> 8) & 255},${(v >> 16) & 255})`;
  }

  function create(spec, wf) {
    return {
      spec, wf, sctx: spec.getContext('2d'), wctx: wf.getContext('2d'),
      layer: document.createElement('canvas'), dpr: 1,
      layoutSeen: -1, wfLayoutSeen: -1, wfDrawn: 0, wfDet: -1,
      lo: 2400, hi: 2500, rowImg: null, rowPix: null, hoverX: -1,
    };
  }

  // Keeps each canvas's pixel size at its CSS size times devicePixelRatio;
  // true when anything changed (everything is then drawn anew).
  function fitCanvases(d) {
    const dpr = window.devicePixelRatio || 1;
    let changed = dpr !== d.dpr;
    d.dpr = dpr;
    for (const c of [d.spec, d.wf]) {
      const w = Math.round(c.clientWidth * dpr);
      const h = Math.round(c.clientHeight * dpr);
      if (c.width !== w || c.height !== h) { c.width = w; c.height = h; changed = true; }
    }
    if (changed) { d.layoutSeen = -1; d.wfLayoutSeen = -1; }
    return changed;
  }

  function range(d, m) {
    const det = m.dets[m.selected];
    if (det.lo < det.hi) { d.lo = det.lo; d.hi = det.hi; } else { d.lo = 2400; d.hi = 2500; }
  }

  function plotWidth(c, dpr) { return c.width / dpr - LEFT - RIGHT; }
  function xOf(d, c, mhz) { return LEFT + (mhz - d.lo) / (d.hi - d.lo) * plotWidth(c, d.dpr); }
  function mhzAt(d, c, cssX) { return d.lo + (cssX - LEFT) / plotWidth(c, d.dpr) * (d.hi - d.lo); }

  function niceStep(span, slots) {
    const raw = span / Math.max(1, slots);
    const p = Math.pow(10, Math.floor(Math.log10(raw)));
    for (const f of [1, 2, 5, 10]) if (f * p >= raw) return f * p;
    return 10 * p;
  }

  function freqAxis(d, ctx, c, yTick, yText) {
    const w = plotWidth(c, d.dpr);
    const step = niceStep(d.hi - d.lo, w / 90);
    ctx.fillStyle = C.text;
    ctx.textAlign = 'center';
    for (let f = Math.ceil(d.lo / step) * step; f <= d.hi; f += step) {
      const x = xOf(d, c, f);
      ctx.fillRect(x, yTick, 1, 4);
      ctx.fillText(String(+f.toFixed(3)), x, yText);
    }
    ctx.textAlign = 'right';
    ctx.fillText('MHz', c.width / d.dpr - 6, yText);
  }

  function channelMarks(d, ctx, c, top) {
    ctx.textAlign = 'center';
    ctx.fillStyle = C.chan;
    let lastX = -Infinity;
    for (const ch of rfw.channels.list) {
      if (ch.mhz < d.lo || ch.mhz > d.hi) continue;
      const x = xOf(d, c, ch.mhz);
      ctx.fillRect(x, top - 5, 1, 5);
      const label = String(ch.ch);
      if (x - lastX >= ctx.measureText(label).width + 8) {
        ctx.fillText(label, x, top - 8);
        lastX = x;
      }
    }
    ctx.textAlign = 'left';
    ctx.fillText('ch', 6, top - 8);
  }

  function levelStep(m) { return m.levelHi - m.levelLo > 100 ? 20 : 10; }

  // Background, grid, axes, channel marks and the trace legend: drawn again
  // only when a range or the size changes.
  function drawLayer(d, m) {
    const c = d.spec;
    const L = d.layer;
    L.width = c.width; L.height = c.height;
    const ctx = L.getContext('2d');
    ctx.setTransform(d.dpr, 0, 0, d.dpr, 0, 0);
    const w = c.width / d.dpr;
    const h = c.height / d.dpr;
    const pw = w - LEFT - RIGHT;
    const ph = h - SPEC_TOP - SPEC_BOTTOM;
    ctx.fillStyle = C.bg; ctx.fillRect(0, 0, w, h);
    ctx.fillStyle = C.plot; ctx.fillRect(LEFT, SPEC_TOP, pw, ph);
    ctx.font = FONT; ctx.textBaseline = 'middle';
    const step = levelStep(m);
    ctx.textAlign = 'right';
    for (let v = m.levelLo; v <= m.levelHi; v += step) {
      const y = SPEC_TOP + (m.levelHi - v) / (m.levelHi - m.levelLo) * ph;
      ctx.fillStyle = C.grid; ctx.fillRect(LEFT, Math.round(y), pw, 1);
      ctx.fillStyle = C.text; ctx.fillText(String(v), LEFT - 6, y);
    }
    ctx.textAlign = 'left';
    ctx.fillText('dBm', 6, 12);
    const fstep = niceStep(d.hi - d.lo, pw / 90);
    ctx.fillStyle = C.grid;
    for (let f = Math.ceil(d.lo / fstep) * fstep; f <= d.hi; f += fstep) ctx.fillRect(Math.round(xOf(d, c, f)), SPEC_TOP, 1, ph);
    ctx.strokeStyle = C.frame; ctx.strokeRect(LEFT + 0.5, SPEC_TOP + 0.5, pw - 1, ph - 1);
    freqAxis(d, ctx, c, SPEC_TOP + ph, h - 12);
    channelMarks(d, ctx, c, SPEC_TOP);
    let x = w - RIGHT;
    ctx.textAlign = 'right';
    for (let i = 0; i < TRACES.length; i++) {
      const [, colour, name] = TRACES[i];
      ctx.fillStyle = C.text; ctx.fillText(name, x, 12);
      x -= ctx.measureText(name).width + 6;
      ctx.fillStyle = colour; ctx.fillRect(x - 16, 11, 16, 3);
      x -= 30;
    }
  }

  function traceKind(d, m, ctx, kind, ph) {
    const c = d.spec;
    const k = ph / (m.levelHi - m.levelLo);
    ctx.beginPath();
    for (const s of m.dets[m.selected].segments.values()) {
      const arr = s[kind];
      const step = s.width / s.n;
      let pen = false;
      for (let i = 0; i < s.n; i++) {
        const v = arr[i];
        if (v !== v) { pen = false; continue; }
        const x = xOf(d, c, s.lo + (i + 0.5) * step);
        const y = SPEC_TOP + (m.levelHi - v) * k;
        if (pen) ctx.lineTo(x, y); else ctx.moveTo(x, y);
        pen = true;
      }
    }
    ctx.stroke();
  }

  function drawSpectrum(d, m) {
    range(d, m);
    if (d.layoutSeen !== m.layout) { drawLayer(d, m); d.layoutSeen = m.layout; }
    const ctx = d.sctx;
    const c = d.spec;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.drawImage(d.layer, 0, 0);
    ctx.setTransform(d.dpr, 0, 0, d.dpr, 0, 0);
    const pw = plotWidth(c, d.dpr);
    const ph = c.height / d.dpr - SPEC_TOP - SPEC_BOTTOM;
    ctx.save();
    ctx.beginPath(); ctx.rect(LEFT, SPEC_TOP, pw, ph); ctx.clip();
    ctx.lineWidth = 1.25; ctx.lineJoin = 'round';
    for (const [kind, colour] of TRACES) { ctx.strokeStyle = colour; traceKind(d, m, ctx, kind, ph); }
    if (d.hoverX >= LEFT && d.hoverX <= LEFT + pw) { ctx.fillStyle = C.cross; ctx.fillRect(Math.round(d.hoverX), SPEC_TOP, 1, ph); }
    ctx.restore();
  }

  function wfGeometry(d) {
    const c = d.wf;
    const x0 = Math.round(LEFT * d.dpr);
    const x1 = c.width - Math.round(RIGHT * d.dpr);
    const y0 = Math.round(WF_TOP * d.dpr);
    const rowH = Math.max(1, Math.round(d.dpr));
    const rows = Math.floor((c.height - y0 - Math.round(WF_BOTTOM * d.dpr)) / rowH);
    return { x0, pw: x1 - x0, y0, rowH, rows };
  }

  function paintRow(d, m, g, age) {
    const wf = m.dets[m.selected].wf;
    const pix = d.rowPix;
    const pw = g.pw;
    const avail = Math.min(wf.written, rfw.model.WF_ROWS);
    if (age >= avail) {
      pix.fill(NO_DATA);
    } else {
      const WF_ROWS = rfw.model.WF_ROWS;
      const COLS = rfw.model.WF_COLS;
      const idx = (wf.head - age + WF_ROWS) % WF_ROWS;
      const base = idx * COLS;
      const rlo = wf.lo[idx];
      const k = COLS / (wf.hi[idx] - rlo);
      const fstep = (d.hi - d.lo) / pw;
      const lk = 255 / (m.levelHi - m.levelLo);
      for (let x = 0; x < pw; x++) {
        const col = Math.floor((d.lo + (x + 0.5) * fstep - rlo) * k);
        const v = col >= 0 && col < COLS ? wf.data[base + col] : NaN;
        if (v !== v) { pix[x] = NO_DATA; continue; }
        const t = Math.round((v - m.levelLo) * lk);
        pix[x] = LUT[t < 0 ? 0 : t > 255 ? 255 : t];
      }
    }
    for (let r = 1; r < g.rowH; r++) pix.copyWithin(r * pw, 0, pw);
    d.wctx.putImageData(d.rowImg, g.x0, g.y0 + age * g.rowH);
  }

  function wfFrame(d, m) {
    const ctx = d.wctx;
    const c = d.wf;
    const w = c.width / d.dpr;
    const h = c.height / d.dpr;
    ctx.setTransform(d.dpr, 0, 0, d.dpr, 0, 0);
    ctx.fillStyle = C.bg; ctx.fillRect(0, 0, w, h);
    ctx.font = FONT; ctx.textBaseline = 'middle';
    freqAxis(d, ctx, c, h - WF_BOTTOM, h - 10);
    ctx.save();
    ctx.translate(18, (h - WF_BOTTOM) / 2); ctx.rotate(-Math.PI / 2);
    ctx.textAlign = 'center'; ctx.fillStyle = C.text;
    ctx.fillText('time: newest on top', 0, 0);
    ctx.restore();
    // Colour scale with its dBm labels in the right margin.
    const top = WF_TOP + 14;
    const bh = h - WF_BOTTOM - top;
    const bx = w - RIGHT + 10;
    for (let i = 0; i < 256; i++) {
      ctx.fillStyle = lutCss(i);
      ctx.fillRect(bx, top + bh * (1 - (i + 1) / 256), 14, bh / 256 + 1);
    }
    ctx.textAlign = 'left'; ctx.fillStyle = C.text;
    ctx.fillText('dBm', bx, WF_TOP + 5);
    for (let v = m.levelLo; v <= m.levelHi; v += levelStep(m)) {
      const y = top + (m.levelHi - v) / (m.levelHi - m.levelLo) * bh;
      ctx.fillRect(bx + 14, y, 4, 1);
      ctx.fillText(String(v), bx + 21, y);
    }
    ctx.setTransform(1, 0, 0, 1, 0, 0);
  }

  // New rows scroll the image down by drawing the canvas onto itself; a
  // change of range, size or detector paints the whole history again.
  function drawWaterfall(d, m) {
    range(d, m);
    const g = wfGeometry(d);
    if (g.pw <= 0 || g.rows <= 0) return;
    if (!d.rowImg || d.rowImg.width !== g.pw || d.rowImg.height !== g.rowH) {
      d.rowImg = d.wctx.createImageData(g.pw, g.rowH);
      d.rowPix = new Uint32Array(d.rowImg.data.buffer);
    }
    const wf = m.dets[m.selected].wf;
    const pending = wf.written - d.wfDrawn;
    const full = d.wfLayoutSeen !== m.layout || d.wfDet !== m.selected || pending >= g.rows;
    if (full) {
      wfFrame(d, m);
      for (let age = 0; age < g.rows; age++) paintRow(d, m, g, age);
    } else if (pending > 0) {
      const keep = (g.rows - pending) * g.rowH;
      d.wctx.drawImage(d.wf, g.x0, g.y0, g.pw, keep, g.x0, g.y0 + pending * g.rowH, g.pw, keep);
      for (let age = 0; age < pending; age++) paintRow(d, m, g, age);
    }
    d.wfLayoutSeen = m.layout;
    d.wfDet = m.selected;
    d.wfDrawn = wf.written;
  }

  function wfPending(d, m) {
    return m.dets[m.selected].wf.written !== d.wfDrawn || d.wfLayoutSeen !== m.layout || d.wfDet !== m.selected;
  }

  // Pointer position to frequency (both canvases) and to waterfall row age.
  function pointerMhz(d, c, cssX) { return mhzAt(d, c, cssX); }
  function pointerAge(d, cssY) {
    const g = wfGeometry(d);
    return Math.floor((cssY * d.dpr - g.y0) / g.rowH);
  }

  rfw.draw = { create, fitCanvases, drawSpectrum, drawWaterfall, wfPending, pointerMhz, pointerAge };
})(window.rfw = window.rfw || {});
