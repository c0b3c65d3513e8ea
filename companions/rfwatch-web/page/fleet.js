// SPDX-License-Identifier: MIT
'use strict';
// The fleet's radios by their air, worst first: each radio's worst channel
// quality and its named non-Wi-Fi signals (the server's summary in each
// radio entry). Shown in fleet mode only; a click shows that radio.
(function (rfw) {
  const STALE_MS = 10000; // as the air panel: an entry not refreshed loses its air
  const radios = new Map(); // id -> {msg, at}
  const $ = (id) => document.getElementById(id);
  let choose = () => {};

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function airOf(r, now) { return r.msg.air && now - r.at <= STALE_MS ? r.msg.air : null; }

  // Radios with air first, worst quality first; then the rest by name.
  function order(a, b, now) {
    const qa = airOf(a, now);
    const qb = airOf(b, now);
    if (qa && qb && qa.quality !== qb.quality) return qa.quality - qb.quality;
    if (!qa !== !qb) return qa ? -1 : 1;
    return `${a.msg.node}/${a.msg.radio}`.localeCompare(`${b.msg.node}/${b.msg.radio}`);
  }

  function entry(r, now) {
    const { msg } = r;
    const air = airOf(r, now);
    const li = el('li', String(msg.id) === $('radio').value ? 'fleet-radio fleet-shown' : 'fleet-radio');
    li.dataset.id = String(msg.id);
    li.dataset.node = msg.node;
    li.dataset.radio = msg.radio;
    li.dataset.quality = air ? String(air.quality) : '';
    li.append(el('span', 'fleet-name', `${msg.node} / ${msg.radio}`));
    const q = air ? air.quality : null;
    li.append(el('span', 'air-q ' + (q === null ? '' : q >= 80 ? 'q-good' : q >= 50 ? 'q-fair' : 'q-bad'),
      q === null ? (msg.state === 'online' ? '–' : msg.state) : String(q)));
    const sigs = el('span', 'fleet-signals');
    for (const s of air ? air.signals : []) {
      const t = el('span', 'fleet-signal sig-' + s.class.replace(/[^a-z]/g, ''),
        `${s.class} ${s.mhz.toFixed(1)} MHz ${s.dbm.toFixed(1)} dBm ${Math.round(s.duty * 100)} %`);
      t.dataset.class = s.class;
      sigs.append(t);
    }
    li.append(sigs);
    li.addEventListener('click', () => choose(msg.id));
    return li;
  }

  function render(now) {
    const list = [...radios.values()].sort((a, b) => order(a, b, now));
    $('fleet-radios').replaceChildren(...list.map((r) => entry(r, now)));
  }

  // fleet mode begins (again: a new connection's ids may differ).
  function show(onChoose) {
    choose = onChoose;
    radios.clear();
    $('fleet-air').hidden = false;
    render(performance.now());
  }

  function update(msg, now) {
    if (msg.state === 'expired') radios.delete(msg.id);
    else radios.set(msg.id, { msg, at: now });
    render(now);
  }

  function tick(now) { if (radios.size) render(now); }

  rfw.fleetAir = { show, update, tick };
})(window.rfw = window.rfw || {});
