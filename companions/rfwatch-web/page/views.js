// SPDX-License-Identifier: MIT
'use strict';
// The page's views. Each view is one file that adds itself here, in the
// order the files load, with its canvas and four hooks:
//   dirty(model, f)   something to draw this frame (f.resized: every
//                     canvas was resized, so everything is drawn anew);
//   draw(model, f)    draws it (f.dpr: device pixels per CSS pixel);
//   pointer(model, p) the pointer is at p {x, y, mhz, dpr} (x, y in CSS
//                     pixels) over this view, or null when elsewhere;
//                     returns the level there for the pointer readout;
// and, if it counts lines rather than showing the latest, a fifth:
//   line(model)       a line was just applied (model.last).
// All views share the frequency axis (axis.js), so a frequency sits at the
// same x in each.
(function (rfw) {
  const list = [];
  const hooks = { pointer() {} };
  let dpr = 0;

  // Adds a view and its canvas ({id, label, height} in CSS pixels).
  function add(view) {
    const plot = document.createElement('div');
    plot.className = 'plot';
    const c = document.createElement('canvas');
    c.id = view.id;
    c.setAttribute('aria-label', view.label);
    c.style.height = view.height + 'px';
    c.addEventListener('mousemove', (ev) => hooks.pointer(view, ev.offsetX, ev.offsetY));
    c.addEventListener('mouseleave', () => hooks.pointer(null, -1, -1));
    plot.appendChild(c);
    document.querySelector('main').appendChild(plot);
    view.canvas = c;
    list.push(view);
    return c;
  }

  // Keeps each canvas's pixel size at its CSS size times devicePixelRatio
  // and lays the shared axis out over the first: the frame's facts.
  function fit(m) {
    const now = window.devicePixelRatio || 1;
    let resized = now !== dpr;
    dpr = now;
    for (const { canvas: c } of list) {
      const w = Math.round(c.clientWidth * dpr);
      const h = Math.round(c.clientHeight * dpr);
      if (c.width !== w || c.height !== h) { c.width = w; c.height = h; resized = true; }
    }
    rfw.axis.fit(m, list[0].canvas, dpr);
    return { resized, dpr };
  }

  // The app's handler of pointer moves: (view or null, x, y).
  function onPointer(fn) { hooks.pointer = fn; }

  rfw.views = { list, add, fit, onPointer };
})(window.rfw = window.rfw || {});
