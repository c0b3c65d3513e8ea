// SPDX-License-Identifier: MIT
'use strict';
// The record button: keeps what this page receives as a recording that
// rfwatch-replay and rfwatch-record --export read: each binary frame as a
// Frame record, its bytes unchanged; each air line as a Line record (its
// JSON text); the daemon coming and going as Notes. Times are the arrival
// on this page, in µs since the epoch. The file is offered as a download
// when recording stops, by the button or at the size bound.
(function (rfw) {
  const R = rfw.recording;
  const LIMIT = 64 * 1024 * 1024;
  // The header is made when recording stops (only then is the driver
  // surely known): its room is kept free below the bound.
  const HEADER_ROOM = 4096 + 16;
  const SIZE_EVERY_MS = 250; // the size readout, not redrawn for every line
  const ATH11K_NOISE = -109; // ath11k's decoder writes it into every line; ath10k the hardware's
  const $ = (id) => document.getElementById(id);
  let rec = null;
  let shown = { radio: '', source: location.host }; // what the page shows now
  let sizeShownAt = 0;
  let onStop = () => {};

  function stamp(us) { return new Date(us / 1000).toISOString().slice(0, 19).replace(/[-:]/g, '') + 'Z'; }

  function sizeText(bytes) {
    if (bytes < 1024) return `${bytes} B`;
    if (bytes < 1024 * 1024) return `${(bytes / 1024).toFixed(1)} kB`;
    return `${(bytes / 1024 / 1024).toFixed(1)} MB`;
  }

  function headerOf(r) {
    const driver = r.airDriver || r.frameDriver || '';
    const unit = { ath11k: 'dBm', ath10k: 'magnitude' }[driver] || '';
    return { radio: r.radio, driver, unit, source: r.source, started_us: r.startedUs, recorder: 'rfwatch-web page' };
  }

  function showSize(force) {
    const now = performance.now();
    if (!force && now - sizeShownAt < SIZE_EVERY_MS) return;
    sizeShownAt = now;
    const bytes = rec ? rec.size + R.headerBytes(headerOf(rec)).length : 0;
    $('record-size').dataset.bytes = String(bytes);
    $('record-size').textContent = rec ? sizeText(bytes) : '–';
  }

  function start() {
    rec = { parts: [], size: 0, startedUs: Date.now() * 1000, airDriver: '', frameDriver: '', skipped: 0, ...shown };
    $('record').setAttribute('aria-pressed', 'true');
    $('record').textContent = 'Stop recording';
    showSize(true);
  }

  // Offers the recording as a file; why it stopped goes to the notice.
  function stop(why) {
    if (!rec) return;
    const r = rec;
    rec = null;
    $('record').setAttribute('aria-pressed', 'false');
    $('record').textContent = 'Record';
    const header = R.headerBytes(headerOf(r));
    const name = `rfwatch-${stamp(r.startedUs)}.rfwrec`;
    const blob = new Blob([header, ...r.parts], { type: 'application/octet-stream' });
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    // The download reads the object URL after click() returns.
    setTimeout(() => URL.revokeObjectURL(a.href), 60000);
    $('record-size').dataset.bytes = String(blob.size);
    $('record-size').textContent = sizeText(blob.size);
    const skipped = r.skipped ? `, ${r.skipped} messages too long for a record left out` : '';
    onStop(`${name}: ${sizeText(blob.size)}${skipped}${why ? ' · ' + why : ''}`);
  }

  function add(type, body) {
    if (!rec) return;
    const bytes = R.recordBytes(type, Date.now() * 1000, body);
    if (!bytes) { rec.skipped++; return; }
    if (rec.size + bytes.length > LIMIT - HEADER_ROOM) {
      stop(`stopped at the limit of ${LIMIT / 1024 / 1024} MiB`);
      return;
    }
    rec.parts.push(bytes);
    rec.size += bytes.length;
    showSize(false);
  }

  function frame(buf) {
    if (!rec) return;
    if (!rec.frameDriver && buf.byteLength >= 8) {
      rec.frameDriver = new DataView(buf).getInt16(6, true) === ATH11K_NOISE ? 'ath11k' : 'ath10k';
    }
    add(R.TYPE.frame, new Uint8Array(buf));
  }

  function air(line) {
    if (!rec) return;
    if (!rec.airDriver && typeof line.driver === 'string') rec.airDriver = line.driver;
    add(R.TYPE.line, R.utf8(JSON.stringify(line)));
  }

  function daemon(state) { add(R.TYPE.note, R.utf8(JSON.stringify({ note: 'daemon', state }))); }

  // Fleet mode: the radio shown. One recording holds one radio, so another
  // radio ends it.
  function radioShown(radio, source) {
    shown = { radio, source };
    if (rec && (rec.radio !== radio || rec.source !== source)) stop('another radio is shown');
  }

  function bind(stopped) {
    onStop = stopped;
    $('record').addEventListener('click', () => (rec ? stop('') : start()));
  }

  rfw.recorder = { bind, frame, air, daemon, radioShown, stamp };
})(window.rfw = window.rfw || {});
