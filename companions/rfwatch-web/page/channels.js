// SPDX-License-Identifier: MIT
'use strict';
// Wi-Fi channel centres of 2.4, 5 and 6 GHz, for the axis marks and the
// pointer readout.
(function (rfw) {
  const list = [];
  function add(ch, mhz, band) { list.push({ ch, mhz, band }); }
  for (let n = 1; n <= 13; n++) add(n, 2412 + 5 * (n - 1), '2.4');
  add(14, 2484, '2.4');
  for (let n = 32; n <= 144; n += 4) add(n, 5000 + 5 * n, '5');
  for (let n = 149; n <= 177; n += 4) add(n, 5000 + 5 * n, '5');
  add(2, 5935, '6');
  for (let n = 1; n <= 233; n += 4) add(n, 5950 + 5 * n, '6');
  list.sort((a, b) => a.mhz - b.mhz);

  // The channel whose 20 MHz span holds the frequency (the nearest centre
  // where 2.4 GHz channels overlap), or null.
  function channelAt(mhz) {
    let best = null;
    for (const c of list) {
      const d = Math.abs(c.mhz - mhz);
      if (d <= 10 && (best === null || d < Math.abs(best.mhz - mhz))) best = c;
    }
    return best;
  }

  rfw.channels = { list, channelAt };
})(window.rfw = window.rfw || {});
