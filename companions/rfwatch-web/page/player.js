// SPDX-License-Identifier: MIT
'use strict';
// Plays a recording (rfwatch-record's or this page's) in the page's views
// at the pace it was recorded, with play/pause, a time slider and the
// recording's header shown. The records are indexed once when the file is
// opened; a seek clears the views and feeds them from the record found in
// the index, with a few seconds before it so that they are not empty.
(function (rfw) {
  const R = rfw.recording;
  const PREFEED_US = 5e6;
  const PREFEED_MAX = 512;
  const MAX_WAIT_MS = 250; // the clock readout moves at least this often
  const $ = (id) => document.getElementById(id);
  let h = null; // the app's hooks: enter, leave, reset, frame(buf, now), air(line, now)
  let rec = null; // {buf, idx, at: Float64Array}
  let pos = 0; // the next record to feed
  let playing = false;
  let atUs = 0; // the recording's time shown (while paused)
  let baseUs = 0; // while playing: the recording's time at performance.now() = baseWall
  let baseWall = 0;
  let timer = 0;
  let dragging = false;

  function feed(i, now) {
    const { buf, idx } = rec;
    const type = idx.types[i];
    if (type === R.TYPE.frame) {
      h.frame(buf.slice(idx.offsets[i], idx.offsets[i] + idx.sizes[i]), now);
    } else if (type === R.TYPE.line) {
      let line = null;
      try { line = JSON.parse(R.text(R.body(buf, idx, i))); } catch (e) { /* not shown, as live */ }
      if (line && line.air) h.air(line, now);
      // Other lines as rfwatch-web passes them: spectra that fit a frame.
      else if (line && typeof line === 'object') {
        const frame = rfw.lineFrame.frameOf(line);
        if (frame) h.frame(frame, now);
      }
    } // Notes are the recorder's own, not lines
  }

  // The first index whose time is above t (the times never decrease).
  function after(t) {
    let lo = 0;
    let hi = rec.idx.count;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (rec.at[mid] <= t) lo = mid + 1; else hi = mid;
    }
    return lo;
  }

  function nowUs() { return playing ? baseUs + (performance.now() - baseWall) * 1000 : atUs; }

  function first() { return rec.idx.count ? rec.at[0] : 0; }
  function last() { return rec.idx.count ? rec.at[rec.idx.count - 1] : 0; }

  function clockText(us) {
    const iso = new Date(us / 1000).toISOString();
    const secs = (x) => `${Math.floor(x / 60e6)}:${String(Math.floor(x / 1e6) % 60).padStart(2, '0')}`;
    return `${iso.slice(0, 10)} ${iso.slice(11, 21)} UTC · ${secs(us - first())} of ${secs(last() - first())}`;
  }

  function showClock(us) {
    const slider = $('playback-time');
    if (!dragging) slider.value = String(Math.round((us - first()) / 1000));
    $('playback-clock').textContent = rec.idx.count ? clockText(us) : '–';
    $('playback-clock').dataset.us = String(Math.round(us));
  }

  function showPlaying() {
    $('play').textContent = playing ? 'Pause' : 'Play';
    $('play').setAttribute('aria-pressed', String(playing));
  }

  function step() {
    timer = 0;
    const t = nowUs();
    const wall = performance.now();
    const n = rec.idx.count;
    while (pos < n && rec.at[pos] <= t) { feed(pos, wall - (t - rec.at[pos]) / 1000); pos++; }
    if (pos >= n) {
      playing = false;
      atUs = last();
      showPlaying();
    } else {
      timer = setTimeout(step, Math.min(MAX_WAIT_MS, (rec.at[pos] - t) / 1000));
    }
    showClock(playing ? t : atUs);
  }

  // Clears the views and feeds them up to t, from a few seconds before it.
  function seek(t) {
    clearTimeout(timer);
    timer = 0;
    h.reset();
    const end = after(t);
    const from = Math.max(after(t - PREFEED_US), end - PREFEED_MAX);
    const wall = performance.now();
    for (let i = from; i < end; i++) feed(i, wall - (t - rec.at[i]) / 1000);
    pos = end;
    atUs = baseUs = t;
    baseWall = wall;
    if (playing) step(); else showClock(t);
  }

  function setPlaying(on) {
    if (!rec || on === playing) return;
    if (on && pos >= rec.idx.count) { playing = true; showPlaying(); seek(first()); return; }
    clearTimeout(timer);
    timer = 0;
    atUs = nowUs();
    playing = on;
    showPlaying();
    // Every record up to atUs has been fed: going on needs no seek.
    baseUs = atUs;
    baseWall = performance.now();
    if (playing) step(); else showClock(atUs);
  }

  const ENDS = {
    whole: () => '',
    'torn-header': () => 'the file ends inside its header: no records',
    torn: (idx, size) => `the file ends inside a record: its last ${size - idx.endOffset} bytes were dropped`,
    damaged: (idx, size) => `a damaged record at byte ${idx.endOffset}: the ${size - idx.endOffset} bytes from there were not read`,
  };

  function showHeader(name, idx, size) {
    const hd = idx.header;
    const el = $('playback-header');
    const started = Number.isFinite(hd.started_us) ? new Date(hd.started_us / 1000).toISOString() : '';
    const parts = [name, hd.radio || 'radio not named', hd.driver || 'driver not known',
      started ? `started ${started.slice(0, 19).replace('T', ' ')} UTC` : 'start not known',
      `by ${hd.recorder || 'an unknown recorder'}`, `${idx.count} records`];
    const end = ENDS[idx.end](idx, size);
    el.textContent = parts.join(' · ') + (end ? ` · ${end}` : '');
    el.className = end ? 'playback-header damaged' : 'playback-header';
    Object.assign(el.dataset, { radio: hd.radio || '', driver: hd.driver || '', started, records: String(idx.count), end: idx.end });
  }

  async function open(file) {
    const buf = await file.arrayBuffer();
    const idx = R.index(buf);
    if (idx.error) { rfw.controls.showError(`${file.name}: ${idx.error}`); return; }
    close(false);
    // Clock steps backwards (the recorder's clock was set) play as no pause.
    const at = new Float64Array(idx.count);
    for (let i = 0; i < idx.count; i++) at[i] = Math.max(idx.times[i], i ? at[i - 1] : 0);
    rec = { buf, idx, at };
    showHeader(file.name, idx, buf.byteLength);
    for (const id of ['play', 'playback-time', 'live']) $(id).disabled = false;
    $('playback-time').max = String(Math.round((last() - first()) / 1000));
    h.enter();
    playing = idx.count > 0;
    showPlaying();
    seek(first());
  }

  // Back to the live stream (the app's leave hook redraws it). The file
  // input keeps the name of a recording being opened (leave false).
  function close(leave) {
    clearTimeout(timer);
    timer = 0;
    const was = rec !== null;
    rec = null;
    playing = false;
    showPlaying();
    for (const id of ['play', 'playback-time', 'live']) $(id).disabled = true;
    $('playback-header').textContent = 'no recording open';
    for (const k of Object.keys($('playback-header').dataset)) delete $('playback-header').dataset[k];
    $('playback-header').className = 'playback-header';
    $('playback-clock').textContent = '–';
    Object.assign($('playback-time'), { value: '0', max: '0' });
    if (leave) $('open-recording').value = ''; // the same file can be opened again
    if (was && leave) h.leave();
  }

  function bind(hooks) {
    h = hooks;
    $('open-recording').addEventListener('change', (ev) => {
      const f = ev.target.files[0];
      if (f) open(f).catch((e) => rfw.controls.showError(`${f.name}: ${e.message || e}`));
    });
    $('play').addEventListener('click', () => setPlaying(!playing));
    $('live').addEventListener('click', () => close(true));
    const slider = $('playback-time');
    slider.addEventListener('pointerdown', () => { dragging = true; });
    for (const ev of ['change', 'pointerup', 'pointercancel']) slider.addEventListener(ev, () => { dragging = false; });
    slider.addEventListener('input', () => { if (rec) seek(first() + Number(slider.value) * 1000); });
    close(false);
  }

  rfw.player = {
    bind,
    active: () => rec !== null,
    playing: () => playing,
  };
})(window.rfw = window.rfw || {});
