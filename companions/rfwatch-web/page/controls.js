// SPDX-License-Identifier: MIT
'use strict';
// The page's controls and readouts: reads what the user enters, writes the
// status line, the peak, the pointer readout and messages.
(function (rfw) {
  const $ = (id) => document.getElementById(id);

  // An optional field is omitted when empty; a required one must be a number.
  function numberField(id, required) {
    const text = $(id).value.trim();
    if (text === '') return required ? NaN : undefined;
    return Number(text);
  }

  // The inputs carry the limits every companion checks (limits.js, made
  // from the one table); the server refuses what lies outside them.
  const LIMITED = {
    period: 'ms', 'sweep-from': 'from', 'sweep-to': 'to', 'sweep-duration': 'duration',
    'sweep-dwell': 'dwell',
  };

  function applyLimits() {
    for (const [id, key] of Object.entries(LIMITED)) {
      $(id).min = String(rfw.limits[key].min);
      $(id).max = String(rfw.limits[key].max);
    }
    const spans = rfw.limits.spans.map(([lo, hi]) => `${lo}-${hi}`).join(', ');
    $('sweep-from').title = $('sweep-to').title = `the range must overlap ${spans} MHz`;
  }

  function bind(on) {
    applyLimits();
    $('detector').addEventListener('change', () => on.detector(Number($('detector').value)));
    $('pause').addEventListener('click', () => {
      const paused = $('pause').getAttribute('aria-pressed') !== 'true';
      $('pause').setAttribute('aria-pressed', String(paused));
      $('pause').textContent = paused ? 'Resume' : 'Pause';
      on.pause(paused);
    });
    $('reset-max').addEventListener('click', () => on.resetMax());
    $('radio').addEventListener('change', () => on.selectRadio(Number($('radio').value)));
    $('period-form').addEventListener('submit', (ev) => {
      ev.preventDefault();
      const ms = numberField('period', true);
      if (Number.isNaN(ms)) { showError('period: enter a number of milliseconds'); return; }
      on.command({ type: 'period', ms });
    });
    $('sweep-form').addEventListener('submit', (ev) => {
      ev.preventDefault();
      const cmd = { type: 'sweep', from: numberField('sweep-from', true), to: numberField('sweep-to', true) };
      const duration = numberField('sweep-duration', false);
      const dwell = numberField('sweep-dwell', false);
      if (duration !== undefined) cmd.duration = duration;
      if (dwell !== undefined) cmd.dwell = dwell;
      if ([cmd.from, cmd.to, duration, dwell].some((v) => Number.isNaN(v))) {
        showError('sweep: from and to are numbers in MHz, duration in s, dwell in ms');
        return;
      }
      on.command(cmd);
    });
    $('sweep-cancel').addEventListener('click', () => on.command({ type: 'cancel' }));
    $('error-close').addEventListener('click', hideError);
  }

  function setText(id, text) {
    const el = $(id);
    if (el.textContent !== text) el.textContent = text;
  }

  function setStatus(word) {
    setText('status', word);
    $('status').className = 'state-' + word;
  }

  function setRate(perSecond, lastTime) {
    setText('rate', perSecond.toFixed(1));
    if (lastTime) setText('last-time', new Date(lastTime).toLocaleTimeString());
  }

  function setPeak(p) {
    const el = $('peak');
    if (!p.valid) { setText('peak', '–'); return; }
    const mhz = p.mhz.toFixed(2);
    const dbm = p.dbm.toFixed(1);
    setText('peak', `${mhz} MHz ${dbm} dBm`);
    if (el.dataset.mhz !== mhz) el.dataset.mhz = mhz;
    if (el.dataset.dbm !== dbm) el.dataset.dbm = dbm;
  }

  function dbmText(v) { return v === v ? v.toFixed(1) + ' dBm' : 'no value'; }

  function setHover(mhz, ch, level) {
    if (mhz === null) { setText('hover', '–'); return; }
    const chText = ch ? ` · ch ${ch.ch} (${ch.band} GHz)` : '';
    setText('hover', `${mhz.toFixed(2)} MHz${chText} · ${level}`);
  }

  function showError(message) {
    setText('error-text', message);
    $('error').hidden = false;
  }

  function hideError() { $('error').hidden = true; }

  function notice(text) { setText('notice', text); }

  // Fleet mode: one option per radio the server has heard of, kept in the
  // server's order (its ids), labelled with its state.
  function showFleet() {
    $('fleet').hidden = false;
    $('radio').replaceChildren(); // a new connection's ids may differ
  }

  function setRadio(r) {
    const sel = $('radio');
    let opt = sel.querySelector(`option[value="${r.id}"]`);
    if (!opt) {
      opt = document.createElement('option');
      opt.value = String(r.id);
      sel.appendChild(opt);
    }
    const live = r.state === 'online' && r.daemon === 'connected';
    opt.textContent = `${r.node} / ${r.radio} · ${live ? 'online' : r.state === 'online' ? 'no daemon' : r.state}`;
    opt.dataset.node = r.node;
    opt.dataset.radio = r.radio;
    opt.dataset.state = r.state;
  }

  function markRadio(id) { $('radio').value = String(id); }

  rfw.controls = {
    bind, setStatus, setRate, setPeak, setHover, dbmText, showError, hideError, notice,
    showFleet, setRadio, markRadio,
  };
})(window.rfw = window.rfw || {});
