// SPDX-License-Identifier: MIT
'use strict';
// A spectrum line of rfwatchd (its JSON, parsed) as the binary frame
// rfwatch-web would have sent for it (doc/web.md, "Frames"), so a
// recording's text spectrum lines are shown as the live page shows lines.
(function (rfw) {
  const HEADER = 24;
  const MAX_BINS = 512;
  const NULL_BIN = -32768;
  // The frame's fields a line must fill with a whole number that fits:
  // a line that does not fit is one rfwatch-web would not send either.
  const FIELDS = [
    ['detector', 1, 'setUint8', 0, 0xff], ['freq_mhz', 2, 'setUint16', 0, 0xffff],
    ['bandwidth_mhz', 4, 'setUint16', 0, 0xffff], ['noise_dbm', 6, 'setInt16', -0x8000, 0x7fff],
    ['rssi', 8, 'setUint16', 0, 0xffff], ['num_aggregated', 12, 'setUint32', 0, 0xffffffff],
  ];

  // Hundredths of a dB, halves away from zero, beyond 327.67 clamped.
  function hundredths(b) {
    return b === null ? NULL_BIN : Math.max(-32767, Math.min(32767, Math.sign(b) * Math.round(Math.abs(b) * 100)));
  }

  // The frame as an ArrayBuffer; null when the line would not be one.
  function frameOf(line) {
    const bins = line.bins;
    if (!Array.isArray(bins) || bins.length === 0 || bins.length > MAX_BINS) return null;
    const buf = new ArrayBuffer(HEADER + 2 * bins.length);
    const v = new DataView(buf);
    v.setUint8(0, 1);
    for (const [key, at, set, lo, hi] of FIELDS) {
      const x = line[key];
      if (!Number.isInteger(x) || x < lo || x > hi) return null;
      v[set](at, x, true);
    }
    if (!Number.isSafeInteger(line.timestamp) || line.timestamp < 0) return null;
    v.setUint16(10, bins.length, true);
    v.setBigUint64(16, BigInt(line.timestamp), true);
    for (let i = 0; i < bins.length; i++) {
      if (bins[i] !== null && (typeof bins[i] !== 'number' || !Number.isFinite(bins[i]))) return null;
      v.setInt16(HEADER + 2 * i, hundredths(bins[i]), true);
    }
    return buf;
  }

  rfw.lineFrame = { frameOf };
})(window.rfw = window.rfw || {});
