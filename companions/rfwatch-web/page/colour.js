// SPDX-License-Identifier: MIT
'use strict';
// Colour scales of the image views: a 256-entry table of pixels, so that a
// cell's colour is one lookup however many cells a frame paints.
(function (rfw) {
  // A pixel as ImageData holds it on a little-endian machine.
  function rgba(r, g, b) { return ((255 << 24) | (b << 16) | (g << 8) | r) >>> 0; }

  // stops: [position 0..1, r, g, b], ascending; linear between them.
  function lut(stops) {
    const table = new Uint32Array(256);
    for (let i = 0; i < 256; i++) {
      const t = i / 255;
      let k = 1;
      while (k < stops.length - 1 && stops[k][0] < t) k++;
      const a = stops[k - 1];
      const b = stops[k];
      const f = (t - a[0]) / (b[0] - a[0]);
      table[i] = rgba(...[1, 2, 3].map((j) => Math.round(a[j] + (b[j] - a[j]) * f)));
    }
    return table;
  }

  rfw.colour = { rgba, lut };
})(window.rfw = window.rfw || {});
