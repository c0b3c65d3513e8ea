// SPDX-License-Identifier: MIT
'use strict';
// The spectra as received: per detector, the latest line of each centre
// frequency and width (a segment), its max-hold and average, and the
// waterfall history. Typed arrays are allocated when a segment first appears,
// never per line.
(function (rfw) {
  const HEADER = 24;
  const MAX_BINS = 512;
  const NULL_BIN = -32768;
  const DETECTORS = 2;
  const MAX_SEGMENTS = 256; // a full 2.4 to 7.1 GHz sweep in 20 MHz steps fits
  // Exponential average over about the last ten lines, of power (mW), not
  // of dB, as a spectrum analyser averages: a burst raises it as much as
  // the energy it carries, where an average of dB would underrate it.
  const AVG_WEIGHT = 0.1;
  const WF_COLS = 2048;
  const WF_ROWS = 480;

  function newWaterfall() {
    return {
      data: new Float32Array(WF_ROWS * WF_COLS),
      lo: new Float64Array(WF_ROWS),
      hi: new Float64Array(WF_ROWS),
      time: new Float64Array(WF_ROWS),
      head: -1, // ring index of the newest row
      written: 0, // rows ever written; the waterfall view compares it with its own count
    };
  }

  function newDetector() {
    return { segments: new Map(), lo: Infinity, hi: -Infinity, wf: newWaterfall() };
  }

  function create() {
    const dets = [];
    for (let i = 0; i < DETECTORS; i++) dets.push(newDetector());
    return {
      dets,
      selected: 0,
      paused: false,
      levelLo: -110, levelHi: -20, levelSet: false, lineLo: 0, lineHi: 0,
      version: 0, // bumps on every change that the spectrum shows
      layout: 0, // bumps when the axes' ranges change
      peak: { valid: false, mhz: 0, dbm: 0 },
      probe: { seg: null, bin: 0, cur: NaN, max: NaN, avg: NaN },
      last: null, // the line just applied, {det, seg}: what a view that counts lines reads
    };
  }

  function newSegment(freq, width, n) {
    // NaN until a bin has had a value: a bin that is null in every line
    // must not draw as 0 dBm.
    return {
      freq, width, n, lo: freq - width / 2, hi: freq + width / 2, time: 0,
      cur: new Float32Array(n).fill(NaN), max: new Float32Array(n).fill(NaN), avg: new Float32Array(n).fill(NaN),
      avgMw: new Float64Array(n).fill(NaN), // the average itself; avg is it in dBm
    };
  }

  function dropOldest(det) {
    let oldKey = null;
    let oldTime = Infinity;
    for (const [key, s] of det.segments) {
      if (s.time < oldTime) { oldTime = s.time; oldKey = key; }
    }
    det.segments.delete(oldKey);
  }

  function segmentFor(m, det, freq, width, n) {
    const key = freq * 65536 + width;
    let s = det.segments.get(key);
    if (s && s.n === n) return s;
    if (!s && det.segments.size >= MAX_SEGMENTS) dropOldest(det);
    s = newSegment(freq, width, n);
    det.segments.set(key, s);
    if (s.lo < det.lo || s.hi > det.hi) {
      det.lo = Math.min(det.lo, s.lo);
      det.hi = Math.max(det.hi, s.hi);
      m.layout++;
    }
    return s;
  }

  // Copies the bins in; leaves the line's lowest level and highest max-hold
  // in m.lineLo / m.lineHi.
  function fillBins(m, s, view) {
    let lo = Infinity;
    let hi = -Infinity;
    for (let i = 0; i < s.n; i++) {
      const raw = view.getInt16(HEADER + 2 * i, true);
      const v = raw === NULL_BIN ? NaN : raw / 100;
      s.cur[i] = v;
      if (v !== v) continue;
      if (!(s.max[i] >= v)) s.max[i] = v;
      const mw = Math.pow(10, v / 10);
      const a = s.avgMw[i];
      s.avgMw[i] = a !== a ? mw : a + (mw - a) * AVG_WEIGHT;
      s.avg[i] = 10 * Math.log10(s.avgMw[i]);
      if (v < lo) lo = v;
      if (s.max[i] > hi) hi = s.max[i];
    }
    m.lineLo = lo;
    m.lineHi = hi;
  }

  // Widens the level range (in 10 dB steps, so it rarely moves) to hold the
  // line; reset-max lets it shrink again.
  function fitLevels(m, lo, hi) {
    if (!(lo <= hi)) return;
    const wantLo = Math.floor((lo - 5) / 10) * 10;
    const wantHi = Math.ceil((hi + 5) / 10) * 10;
    if (!m.levelSet) {
      m.levelLo = wantLo; m.levelHi = Math.max(wantHi, wantLo + 40); m.levelSet = true; m.layout++;
      return;
    }
    if (wantLo < m.levelLo) { m.levelLo = wantLo; m.layout++; }
    if (wantHi > m.levelHi) { m.levelHi = wantHi; m.layout++; }
  }

  // One waterfall row: every segment's latest line over the detector's range,
  // the strongest bin where several fall in one column.
  function pushRow(det, now) {
    const wf = det.wf;
    wf.head = (wf.head + 1) % WF_ROWS;
    wf.written++;
    const base = wf.head * WF_COLS;
    const row = wf.data;
    row.fill(NaN, base, base + WF_COLS);
    wf.lo[wf.head] = det.lo;
    wf.hi[wf.head] = det.hi;
    wf.time[wf.head] = now;
    const scale = WF_COLS / (det.hi - det.lo);
    for (const s of det.segments.values()) {
      const step = s.width / s.n;
      for (let i = 0; i < s.n; i++) {
        const v = s.cur[i];
        if (v !== v) continue;
        const low = s.lo + i * step;
        const c0 = Math.max(0, Math.floor((low - det.lo) * scale));
        const c1 = Math.min(WF_COLS - 1, Math.max(c0, Math.ceil((low + step - det.lo) * scale) - 1));
        for (let c = c0; c <= c1; c++) {
          const old = row[base + c];
          if (!(old >= v)) row[base + c] = v;
        }
      }
    }
  }

  // Applies one binary frame; returns false when it is malformed (ignored).
  function applyFrame(m, buf, now) {
    if (buf.byteLength < HEADER) return false;
    const view = new DataView(buf);
    const n = view.getUint16(10, true);
    const d = view.getUint8(1);
    if (view.getUint8(0) !== 1 || n === 0 || n > MAX_BINS || buf.byteLength !== HEADER + 2 * n) return false;
    if (d >= DETECTORS) return false;
    const freq = view.getUint16(2, true);
    const width = view.getUint16(4, true);
    if (width === 0) return false;
    m.last = null;
    if (m.paused) return true;
    const det = m.dets[d];
    const s = segmentFor(m, det, freq, width, n);
    s.time = now;
    fillBins(m, s, view);
    pushRow(det, now);
    m.last = { det: d, seg: s };
    if (d === m.selected) {
      fitLevels(m, m.lineLo, m.lineHi);
      m.version++;
    }
    return true;
  }

  function resetMax(m) {
    for (const det of m.dets) {
      for (const s of det.segments.values()) s.max.set(s.cur);
    }
    m.levelSet = false;
    let lo = Infinity;
    let hi = -Infinity;
    for (const s of m.dets[m.selected].segments.values()) {
      for (let i = 0; i < s.n; i++) {
        if (s.cur[i] < lo) lo = s.cur[i];
        if (s.cur[i] > hi) hi = s.cur[i];
      }
    }
    fitLevels(m, lo, hi);
    m.layout++;
    m.version++;
  }

  // Everything received so far forgotten: another radio is shown.
  function clear(m) {
    for (let i = 0; i < m.dets.length; i++) m.dets[i] = newDetector();
    m.levelSet = false;
    m.peak.valid = false;
    m.layout++;
    m.version++;
  }

  function select(m, d) {
    m.selected = d;
    m.layout++;
    m.version++;
  }

  // The strongest bin of the current traces of the selected detector.
  function updatePeak(m) {
    const p = m.peak;
    p.valid = false;
    for (const s of m.dets[m.selected].segments.values()) {
      for (let i = 0; i < s.n; i++) {
        const v = s.cur[i];
        if (v === v && (!p.valid || v > p.dbm)) {
          p.valid = true;
          p.dbm = v;
          p.mhz = s.lo + (i + 0.5) * s.width / s.n;
        }
      }
    }
    return p;
  }

  // The newest segment of the selected detector that covers the frequency,
  // and its bin there.
  function probe(m, mhz) {
    const r = m.probe;
    r.seg = null;
    for (const s of m.dets[m.selected].segments.values()) {
      if (mhz >= s.lo && mhz < s.hi && (r.seg === null || s.time > r.seg.time)) r.seg = s;
    }
    if (r.seg) {
      const s = r.seg;
      r.bin = Math.min(s.n - 1, Math.floor((mhz - s.lo) * s.n / s.width));
      r.cur = s.cur[r.bin]; r.max = s.max[r.bin]; r.avg = s.avg[r.bin];
    }
    return r;
  }

  // The waterfall value at a frequency, `age` rows back from the newest.
  function waterfallAt(det, age, mhz) {
    const wf = det.wf;
    if (age < 0 || age >= Math.min(wf.written, WF_ROWS)) return null;
    const idx = (wf.head - age + WF_ROWS) % WF_ROWS;
    const c = Math.floor((mhz - wf.lo[idx]) / (wf.hi[idx] - wf.lo[idx]) * WF_COLS);
    const v = c >= 0 && c < WF_COLS ? wf.data[idx * WF_COLS + c] : NaN;
    return { dbm: v, time: wf.time[idx] };
  }

  rfw.model = {
    create, applyFrame, resetMax, clear, select, updatePeak, probe, waterfallAt,
    WF_COLS, WF_ROWS, HEADER,
  };
})(window.rfw = window.rfw || {});
