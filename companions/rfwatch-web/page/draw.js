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
  const TRACES = [['avg', C.avg, 'average (power)'], ['max', C.max, 'max-hold'], ['cur', C.cur, 'current']];
  const NO_DATA = rgba(14, 18, 24);
  const GAP = rgba(26, 32, 41);
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
      lo: 2400, hi: 2500, spans: [], k: 1, axisKey: '', pixMhz: new Float64Array(0),
      rowImg: null, rowPix: null, hoverX: -1,
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

  // The axis is the union of the ranges that lines cover; a gap wider than
  // GAP_MHZ between them shrinks to a GAP_PX break, so that 2.4 and 5 GHz
  // lines both stay readable on one axis.
  const GAP_MHZ = 40;
  const GAP_PX = 16;

  function axisSpans(det) {
    const segs = [...det.segments.values()].sort((a, b) => a.lo - b.lo);
    const spans = [];
    for (const s of segs) {
      const last = spans[spans.length - 1];
      if (last && s.lo - last.hi <= GAP_MHZ) last.hi = Math.max(last.hi, s.hi);
      else spans.push({ lo: s.lo, hi: s.hi, x: 0 });
    }
    if (spans.length === 0) spans.push({ lo: 2400, hi: 2500, x: 0 });
    return spans;
  }

  // Lays the spans out over the plot width; done when the layout or the
  // size changes, with the pixel frequencies the waterfall rows use.
  function range(d, m) {
    const key = m.layout * 4 + m.selected + ':' + d.spec.width + ':' + d.dpr;
    if (d.axisKey === key) return;
    d.axisKey = key;
    d.spans = axisSpans(m.dets[m.selected]);
    let mhz = 0;
    for (const sp of d.spans) mhz += sp.hi - sp.lo;
    const pw = plotWidth(d.spec, d.dpr);
    d.k = Math.max(1e-6, (pw - GAP_PX * (d.spans.length - 1)) / mhz);
    let x = 0;
    for (const sp of d.spans) { sp.x = x; x += (sp.hi - sp.lo) * d.k + GAP_PX; }
    d.lo = d.spans[0].lo;
    d.hi = d.spans[d.spans.length - 1].hi;
    const devW = Math.max(0, Math.round(pw * d.dpr));
    d.pixMhz = new Float64Array(devW);
    for (let i = 0; i < devW; i++) d.pixMhz[i] = mhzAt(d, d.spec, LEFT + (i + 0.5) / d.dpr);
  }

  function plotWidth(c, dpr) { return c.width / dpr - LEFT - RIGHT; }
  function xOf(d, c, mhz) {
    let sp = d.spans[0];
    for (const t of d.spans) if (mhz >= t.lo) sp = t;
    return LEFT + sp.x + (Math.min(mhz, sp.hi) - sp.lo) * d.k;
  }
  // NaN in a break between spans.
  function mhzAt(d, c, cssX) {
    const x = cssX - LEFT;
    for (const sp of d.spans) {
      if (x >= sp.x && x <= sp.x + (sp.hi - sp.lo) * d.k) return sp.lo + (x - sp.x) / d.k;
    }
    return NaN;
  }

  function niceStep(span, slots) {
    const raw = span / Math.max(1, slots);
    const p = Math.pow(10, Math.floor(Math.log10(raw)));
    for (const f of [1, 2, 5, 10]) if (f * p >= raw) return f * p;
    return 10 * p;
  }

  function freqStep(d) { return niceStep(90 / d.k, 1); }

  function freqAxis(d, ctx, c, yTick, yText) {
    const step = freqStep(d);
    ctx.fillStyle = C.text;
    ctx.textAlign = 'center';
    let lastX = -Infinity;
    for (const sp of d.spans) {
      for (let f = Math.ceil(sp.lo / step) * step; f <= sp.hi; f += step) {
        const x = xOf(d, c, f);
        const label = String(+f.toFixed(3));
        ctx.fillRect(x, yTick, 1, 4);
        if (x - lastX < ctx.measureText(label).width + 10) continue;
        ctx.fillText(label, x, yText);
        lastX = x;
      }
    }
    ctx.textAlign = 'right';
    ctx.fillText('MHz', c.width / d.dpr - 6, yText);
  }

  function channelMarks(d, ctx, c, top) {
    ctx.textAlign = 'center';
    ctx.fillStyle = C.chan;
    let lastX = -Infinity;
    for (const ch of rfw.channels.list) {
      if (!(Math.abs(mhzAt(d, c, xOf(d, c, ch.mhz)) - ch.mhz) < 1e-6)) continue; // not on the axis
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
    const fstep = freqStep(d);
    for (const sp of d.spans) {
      ctx.fillStyle = C.grid;
      for (let f = Math.ceil(sp.lo / fstep) * fstep; f <= sp.hi; f += fstep) ctx.fillRect(Math.round(xOf(d, c, f)), SPEC_TOP, 1, ph);
      if (sp.x > 0) { ctx.fillStyle = C.bg; ctx.fillRect(LEFT + sp.x - GAP_PX + 3, SPEC_TOP, GAP_PX - 6, ph); }
    }
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
      const lk = 255 / (m.levelHi - m.levelLo);
      const pixMhz = d.pixMhz;
      for (let x = 0; x < pw; x++) {
        const f = x < pixMhz.length ? pixMhz[x] : NaN;
        if (f !== f) { pix[x] = GAP; continue; }
        const col = Math.floor((f - rlo) * k);
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
