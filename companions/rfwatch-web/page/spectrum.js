// SPDX-License-Identifier: MIT
'use strict';
// The spectrum view: current, max-hold and average traces of the selected
// detector over the shared axis, and a cross line at the pointer.
(function (rfw) {
  const { LEFT, RIGHT, FONT, C } = rfw.axis;
  const TOP = 42;
  const BOTTOM = 30;
  const CROSS = '#ffffff80';
  const TRACES = [['avg', '#a6e08e', 'average (power)'], ['max', '#ff8a5c', 'max-hold'], ['cur', '#58c4f0', 'current']];
  const layer = document.createElement('canvas'); // what changes only with a range or the size
  let layerSeen = -1;
  let drawn = { version: -1, layout: -1, cross: -1 };
  let cross = -1; // CSS x of the pointer, -1: none

  const view = {
    id: 'spectrum', label: 'spectrum: level in dBm over frequency in MHz', height: 340,
    dirty(m, f) {
      return f.resized || drawn.version !== m.version || drawn.layout !== m.layout || drawn.cross !== cross;
    },
    draw, pointer,
  };
  const canvas = rfw.views.add(view);
  const ctx = canvas.getContext('2d');

  // Background, grid, axes, channel marks and the trace legend.
  function drawLayer(m, dpr) {
    layer.width = canvas.width; layer.height = canvas.height;
    const lc = layer.getContext('2d');
    lc.setTransform(dpr, 0, 0, dpr, 0, 0);
    const w = canvas.width / dpr;
    const h = canvas.height / dpr;
    const pw = w - LEFT - RIGHT;
    const ph = h - TOP - BOTTOM;
    lc.fillStyle = C.bg; lc.fillRect(0, 0, w, h);
    lc.fillStyle = C.plot; lc.fillRect(LEFT, TOP, pw, ph);
    lc.font = FONT; lc.textBaseline = 'middle';
    lc.textAlign = 'right';
    for (let v = m.levelLo; v <= m.levelHi; v += rfw.axis.levelStep(m)) {
      const y = TOP + (m.levelHi - v) / (m.levelHi - m.levelLo) * ph;
      lc.fillStyle = C.grid; lc.fillRect(LEFT, Math.round(y), pw, 1);
      lc.fillStyle = C.text; lc.fillText(String(v), LEFT - 6, y);
    }
    lc.textAlign = 'left';
    lc.fillText('dBm', 6, 12);
    rfw.axis.grid(lc, TOP, ph);
    lc.strokeStyle = C.frame; lc.strokeRect(LEFT + 0.5, TOP + 0.5, pw - 1, ph - 1);
    rfw.axis.freqAxis(lc, canvas, dpr, TOP + ph, h - 12);
    rfw.axis.channelMarks(lc, TOP);
    let x = w - RIGHT;
    lc.textAlign = 'right';
    for (const [, colour, name] of TRACES) {
      lc.fillStyle = C.text; lc.fillText(name, x, 12);
      x -= lc.measureText(name).width + 6;
      lc.fillStyle = colour; lc.fillRect(x - 16, 11, 16, 3);
      x -= 30;
    }
  }

  function trace(m, kind, ph) {
    const k = ph / (m.levelHi - m.levelLo);
    ctx.beginPath();
    for (const s of m.dets[m.selected].segments.values()) {
      const arr = s[kind];
      const step = s.width / s.n;
      let pen = false;
      for (let i = 0; i < s.n; i++) {
        const v = arr[i];
        if (v !== v) { pen = false; continue; }
        const x = rfw.axis.xOf(s.lo + (i + 0.5) * step);
        const y = TOP + (m.levelHi - v) * k;
        if (pen) ctx.lineTo(x, y); else ctx.moveTo(x, y);
        pen = true;
      }
    }
    ctx.stroke();
  }

  function draw(m, f) {
    const dpr = f.dpr;
    if (f.resized || layerSeen !== m.layout) { drawLayer(m, dpr); layerSeen = m.layout; }
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.drawImage(layer, 0, 0);
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    const pw = rfw.axis.plotWidth(canvas, dpr);
    const ph = canvas.height / dpr - TOP - BOTTOM;
    ctx.save();
    ctx.beginPath(); ctx.rect(LEFT, TOP, pw, ph); ctx.clip();
    ctx.lineWidth = 1.25; ctx.lineJoin = 'round';
    for (const [kind, colour] of TRACES) { ctx.strokeStyle = colour; trace(m, kind, ph); }
    if (cross >= LEFT && cross <= LEFT + pw) { ctx.fillStyle = CROSS; ctx.fillRect(Math.round(cross), TOP, 1, ph); }
    ctx.restore();
    drawn = { version: m.version, layout: m.layout, cross };
  }

  function pointer(m, p) {
    cross = p ? p.x : -1;
    if (!p) return null;
    const r = rfw.model.probe(m, p.mhz);
    const t = rfw.controls.dbmText;
    return r.seg ? `${t(r.cur)} (max ${t(r.max)}, avg ${t(r.avg)})` : 'no line here';
  }
})(window.rfw = window.rfw || {});
