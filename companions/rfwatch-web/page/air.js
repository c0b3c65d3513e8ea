// SPDX-License-Identifier: MIT
'use strict';
// The air panel: rfwatchd's analysis of the air (its air lines), as a list
// of channels, worst quality first, and of the signals it named. A sweep
// brings one air line per centre frequency: the newest of each is kept and
// their channels merged; a frequency not heard of for STALE_MS is dropped
// (the sweep left it, or air lines stopped).
(function (rfw) {
  const STALE_MS = 10000;
  const MAX_LINES = 64; // centre frequencies kept; a full sweep of 5 GHz fits
  const lines = new Map(); // freq_mhz -> {line, at}
  const $ = (id) => document.getElementById(id);

  // A signal's share of a channel's lost quality, as rfwatchd weighs it:
  // Wi-Fi costs none, the rest its duty times how far it is above -90 dBm.
  function weight(s) {
    if (s.class === 'wifi') return 0;
    return s.duty * Math.min(1, Math.max(0, (s.dbm + 90) / 30));
  }

  function qualityClass(q) { return q >= 80 ? 'q-good' : q >= 50 ? 'q-fair' : 'q-bad'; }

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // The newest line's entry wins where captures overlap.
  function channels(fresh) {
    const byNumber = new Map();
    for (const { line } of fresh) for (const c of line.channels) byNumber.set(c.mhz, c);
    return [...byNumber.values()].sort((a, b) => a.quality - b.quality || b.utilisation - a.utilisation || a.mhz - b.mhz);
  }

  function signals(fresh) {
    const all = [];
    for (const { line } of fresh) for (const s of line.signals) all.push(s);
    return all.sort((a, b) => weight(b) - weight(a) || b.duty - a.duty || a.mhz - b.mhz);
  }

  function channelRow(c) {
    const row = el('li', 'air-channel');
    row.dataset.channel = String(c.channel);
    row.dataset.utilisation = c.utilisation.toFixed(3);
    row.dataset.quality = String(c.quality);
    row.title = `channel ${c.channel} (${c.mhz} MHz): busy ${(c.utilisation * 100).toFixed(1)} % of the reports, quality ${c.quality} of 100`;
    row.append(el('span', 'air-ch', `ch ${c.channel}`));
    const bar = el('span', 'air-bar');
    const fill = el('span', 'air-fill');
    fill.style.width = `${Math.round(c.utilisation * 100)}%`;
    bar.append(fill);
    row.append(bar, el('span', 'air-util', `${Math.round(c.utilisation * 100)} %`));
    row.append(el('span', 'air-q ' + qualityClass(c.quality), String(c.quality)));
    return row;
  }

  function evidence(s) {
    const parts = [];
    if (s.period_ms) parts.push(`period ${s.period_ms.toFixed(1)} ms`);
    if (s.hops) parts.push(`${s.hops} hops`);
    if (s.burst_ms) parts.push(`burst ${s.burst_ms.toFixed(1)} ms`);
    return parts.join(', ');
  }

  function signalRow(s) {
    const row = el('tr', 'air-signal sig-' + s.class.replace(/[^a-z]/g, ''));
    row.dataset.class = s.class;
    row.dataset.mhz = s.mhz.toFixed(1);
    row.dataset.duty = s.duty.toFixed(3);
    const cells = [s.class, s.mhz.toFixed(1), s.width_mhz.toFixed(1), s.dbm.toFixed(1),
      `${Math.round(s.duty * 100)} %`, evidence(s)];
    for (const text of cells) row.append(el('td', '', text));
    row.title = `confidence ${(s.confidence * 100).toFixed(0)} %, first seen ${(s.age_ms / 1000).toFixed(1)} s ago`;
    return row;
  }

  function render(now) {
    for (const [freq, e] of lines) if (now - e.at > STALE_MS) lines.delete(freq);
    const fresh = [...lines.values()].sort((a, b) => a.at - b.at);
    $('air-channels').replaceChildren(...channels(fresh).map(channelRow));
    $('air-signals').replaceChildren(...signals(fresh).map(signalRow));
    const noise = fresh.map(({ line }) => `${line.freq_mhz} MHz: noise ${line.noise_floor_dbm.toFixed(1)} dBm`);
    $('air-state').textContent = fresh.length ? noise.join(' · ') : 'waiting for rfwatchd\'s air lines';
  }

  // One air line (the server forwards only lines rfwatchd's parse accepts).
  function apply(line, now) {
    if (!line || !Array.isArray(line.channels) || !Array.isArray(line.signals)) return;
    if (!lines.has(line.freq_mhz) && lines.size >= MAX_LINES) {
      let oldest = null;
      for (const [freq, e] of lines) if (oldest === null || e.at < lines.get(oldest).at) oldest = freq;
      lines.delete(oldest);
    }
    lines.set(line.freq_mhz, { line, at: now });
    render(now);
  }

  function clear() { lines.clear(); render(0); }

  // Drops the stale ones even while no line comes.
  function tick(now) { if (lines.size) render(now); }

  rfw.air = { apply, clear, tick, weight };
})(window.rfw = window.rfw || {});
