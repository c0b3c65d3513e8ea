// SPDX-License-Identifier: MIT
'use strict';
// The waterfall view: the selected detector's history, newest row on top,
// with its colour scale in dBm in the right margin.
(function (rfw) {
  const { LEFT, RIGHT, FONT, C } = rfw.axis;
  const { rgba, lut } = rfw.colour;
  const TOP = 6;
  const BOTTOM = 24;
  const NO_DATA = rgba(14, 18, 24);
  const GAP = rgba(26, 32, 41);
  // Dark violet through red and orange to pale yellow: level reads as brightness.
  const LUT = lut([[0, 12, 8, 40], [0.25, 72, 18, 120], [0.5, 180, 40, 100], [0.75, 245, 130, 30], [1, 252, 250, 170]]);
  let drawn = { rows: 0, layout: -1, det: -1 };
  let rowImg = null;
  let rowPix = null;

  const view = {
    id: 'waterfall', label: 'waterfall: newest line on top, colour scale in dBm', height: 330,
    dirty(m, f) {
      return f.resized || m.dets[m.selected].wf.written !== drawn.rows || drawn.layout !== m.layout || drawn.det !== m.selected;
    },
    draw, pointer,
  };
  const canvas = rfw.views.add(view);
  const ctx = canvas.getContext('2d');

  function lutCss(i) {
    const v = LUT[i];
    return `rgb(${v & 255},${(v >> 8) & 255},${(v >> 16) & 255})`;
  }

  function geometry(dpr) {
    const x0 = Math.round(LEFT * dpr);
    const y0 = Math.round(TOP * dpr);
    const rowH = Math.max(1, Math.round(dpr));
    const rows = Math.floor((canvas.height - y0 - Math.round(BOTTOM * dpr)) / rowH);
    return { x0, pw: canvas.width - Math.round(RIGHT * dpr) - x0, y0, rowH, rows };
  }

  function paintRow(m, g, age) {
    const wf = m.dets[m.selected].wf;
    const pix = rowPix;
    const pw = g.pw;
    const { WF_ROWS, WF_COLS } = rfw.model;
    if (age >= Math.min(wf.written, WF_ROWS)) {
      pix.fill(NO_DATA);
    } else {
      const idx = (wf.head - age + WF_ROWS) % WF_ROWS;
      const base = idx * WF_COLS;
      const rlo = wf.lo[idx];
      const k = WF_COLS / (wf.hi[idx] - rlo);
      const lk = 255 / (m.levelHi - m.levelLo);
      const pixMhz = rfw.axis.pixMhz();
      for (let x = 0; x < pw; x++) {
        const f = x < pixMhz.length ? pixMhz[x] : NaN;
        if (f !== f) { pix[x] = GAP; continue; }
        const col = Math.floor((f - rlo) * k);
        const v = col >= 0 && col < WF_COLS ? wf.data[base + col] : NaN;
        if (v !== v) { pix[x] = NO_DATA; continue; }
        const t = Math.round((v - m.levelLo) * lk);
        pix[x] = LUT[t < 0 ? 0 : t > 255 ? 255 : t];
      }
    }
    for (let r = 1; r < g.rowH; r++) pix.copyWithin(r * pw, 0, pw);
    ctx.putImageData(rowImg, g.x0, g.y0 + age * g.rowH);
  }

  // Everything but the rows: the frequency axis, the time label and the
  // colour scale with its dBm labels.
  function frame(m, dpr) {
    const w = canvas.width / dpr;
    const h = canvas.height / dpr;
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    ctx.fillStyle = C.bg; ctx.fillRect(0, 0, w, h);
    ctx.font = FONT; ctx.textBaseline = 'middle';
    rfw.axis.freqAxis(ctx, canvas, dpr, h - BOTTOM, h - 10);
    ctx.save();
    ctx.translate(18, (h - BOTTOM) / 2); ctx.rotate(-Math.PI / 2);
    ctx.textAlign = 'center'; ctx.fillStyle = C.text;
    ctx.fillText('time: newest on top', 0, 0);
    ctx.restore();
    const top = TOP + 14;
    const bh = h - BOTTOM - top;
    const bx = w - RIGHT + 10;
    for (let i = 0; i < 256; i++) {
      ctx.fillStyle = lutCss(i);
      ctx.fillRect(bx, top + bh * (1 - (i + 1) / 256), 14, bh / 256 + 1);
    }
    ctx.textAlign = 'left'; ctx.fillStyle = C.text;
    ctx.fillText('dBm', bx, TOP + 5);
    for (let v = m.levelLo; v <= m.levelHi; v += rfw.axis.levelStep(m)) {
      const y = top + (m.levelHi - v) / (m.levelHi - m.levelLo) * bh;
      ctx.fillRect(bx + 14, y, 4, 1);
      ctx.fillText(String(v), bx + 21, y);
    }
    ctx.setTransform(1, 0, 0, 1, 0, 0);
  }

  // New rows scroll the image down by drawing the canvas onto itself; a
  // change of range, size or detector paints the whole history again.
  function draw(m, f) {
    const g = geometry(f.dpr);
    if (g.pw <= 0 || g.rows <= 0) return;
    if (!rowImg || rowImg.width !== g.pw || rowImg.height !== g.rowH) {
      rowImg = ctx.createImageData(g.pw, g.rowH);
      rowPix = new Uint32Array(rowImg.data.buffer);
    }
    const wf = m.dets[m.selected].wf;
    const pending = wf.written - drawn.rows;
    if (f.resized || drawn.layout !== m.layout || drawn.det !== m.selected || pending >= g.rows) {
      frame(m, f.dpr);
      for (let age = 0; age < g.rows; age++) paintRow(m, g, age);
    } else if (pending > 0) {
      const keep = (g.rows - pending) * g.rowH;
      ctx.drawImage(canvas, g.x0, g.y0, g.pw, keep, g.x0, g.y0 + pending * g.rowH, g.pw, keep);
      for (let age = 0; age < pending; age++) paintRow(m, g, age);
    }
    drawn = { rows: wf.written, layout: m.layout, det: m.selected };
  }

  function pointer(m, p) {
    if (!p) return null;
    const g = geometry(p.dpr);
    const r = rfw.model.waterfallAt(m.dets[m.selected], Math.floor((p.y * p.dpr - g.y0) / g.rowH), p.mhz);
    if (!r || r.dbm !== r.dbm) return 'no line here';
    return `${rfw.controls.dbmText(r.dbm)}, ${((performance.now() - r.time) / 1000).toFixed(1)} s ago`;
  }
})(window.rfw = window.rfw || {});
