// SPDX-License-Identifier: MIT
'use strict';
// The frequency axis every view shares (so a frequency sits at the same x
// in each), with the margins, colours and font of the plots.
(function (rfw) {
  const LEFT = 56;
  const RIGHT = 72;
  const FONT = '12px system-ui, sans-serif';
  const C = { bg: '#1a2029', plot: '#0e1218', grid: '#232c38', frame: '#3a4554', text: '#aab4c3', chan: '#7d8ba0' };
  // The axis is the union of the ranges that lines cover; a gap wider than
  // GAP_MHZ between them shrinks to a GAP_PX break, so that 2.4 and 5 GHz
  // lines both stay readable on one axis.
  const GAP_MHZ = 40;
  const GAP_PX = 16;
  const a = { key: '', spans: [], k: 1, pixMhz: new Float64Array(0) };

  function axisSpans(det) {
    const segs = [...det.segments.values()].sort((x, y) => x.lo - y.lo);
    const spans = [];
    for (const s of segs) {
      const last = spans[spans.length - 1];
      if (last && s.lo - last.hi <= GAP_MHZ) last.hi = Math.max(last.hi, s.hi);
      else spans.push({ lo: s.lo, hi: s.hi, x: 0 });
    }
    if (spans.length === 0) spans.push({ lo: 2400, hi: 2500, x: 0 });
    return spans;
  }

  // Lays the spans out over the plot width of canvas c; done again only when
  // the layout or the size changes, with the frequency of each device pixel
  // of the plot.
  function fit(m, c, dpr) {
    const key = m.layout * 4 + m.selected + ':' + c.width + ':' + dpr;
    if (a.key === key) return;
    a.key = key;
    a.spans = axisSpans(m.dets[m.selected]);
    let mhz = 0;
    for (const sp of a.spans) mhz += sp.hi - sp.lo;
    const pw = plotWidth(c, dpr);
    a.k = Math.max(1e-6, (pw - GAP_PX * (a.spans.length - 1)) / mhz);
    let x = 0;
    for (const sp of a.spans) { sp.x = x; x += (sp.hi - sp.lo) * a.k + GAP_PX; }
    const devW = Math.max(0, Math.round(pw * dpr));
    a.pixMhz = new Float64Array(devW);
    for (let i = 0; i < devW; i++) a.pixMhz[i] = mhzAt(LEFT + (i + 0.5) / dpr);
  }

  function plotWidth(c, dpr) { return c.width / dpr - LEFT - RIGHT; }
  function xOf(mhz) {
    let sp = a.spans[0];
    for (const t of a.spans) if (mhz >= t.lo) sp = t;
    return LEFT + sp.x + (Math.min(mhz, sp.hi) - sp.lo) * a.k;
  }
  // NaN in a break between spans.
  function mhzAt(cssX) {
    const x = cssX - LEFT;
    for (const sp of a.spans) {
      if (x >= sp.x && x <= sp.x + (sp.hi - sp.lo) * a.k) return sp.lo + (x - sp.x) / a.k;
    }
    return NaN;
  }

  function niceStep(span, slots) {
    const raw = span / Math.max(1, slots);
    const p = Math.pow(10, Math.floor(Math.log10(raw)));
    for (const f of [1, 2, 5, 10]) if (f * p >= raw) return f * p;
    return 10 * p;
  }

  function freqStep() { return niceStep(90 / a.k, 1); }

  // Calls fn(x, mhz) at each labelled frequency of the axis.
  function eachStep(fn) {
    const step = freqStep();
    for (const sp of a.spans) {
      for (let f = Math.ceil(sp.lo / step) * step; f <= sp.hi; f += step) fn(xOf(f), f);
    }
  }

  // Vertical grid lines, and the breaks between spans, over a plot.
  function grid(ctx, top, h) {
    ctx.fillStyle = C.grid;
    eachStep((x) => ctx.fillRect(Math.round(x), top, 1, h));
    ctx.fillStyle = C.bg;
    for (const sp of a.spans) if (sp.x > 0) ctx.fillRect(LEFT + sp.x - GAP_PX + 3, top, GAP_PX - 6, h);
  }

  function freqAxis(ctx, c, dpr, yTick, yText) {
    ctx.fillStyle = C.text;
    ctx.textAlign = 'center';
    let lastX = -Infinity;
    eachStep((x, f) => {
      const label = String(+f.toFixed(3));
      ctx.fillRect(x, yTick, 1, 4);
      if (x - lastX < ctx.measureText(label).width + 10) return;
      ctx.fillText(label, x, yText);
      lastX = x;
    });
    ctx.textAlign = 'right';
    ctx.fillText('MHz', c.width / dpr - 6, yText);
  }

  function channelMarks(ctx, top) {
    ctx.textAlign = 'center';
    ctx.fillStyle = C.chan;
    let lastX = -Infinity;
    for (const ch of rfw.channels.list) {
      const x = xOf(ch.mhz);
      if (!(Math.abs(mhzAt(x) - ch.mhz) < 1e-6)) continue; // not on the axis
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

  rfw.axis = {
    LEFT, RIGHT, FONT, C, fit, plotWidth, xOf, mhzAt, grid, freqAxis, channelMarks, levelStep,
    pixMhz: () => a.pixMhz,
  };
})(window.rfw = window.rfw || {});
