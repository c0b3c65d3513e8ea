// SPDX-License-Identifier: MIT
'use strict';
// Ties the connection, the model, the views and the controls together.
// Views are drawn in requestAnimationFrame, and only those with something
// new.
(function (rfw) {
  const ui = rfw.controls;
  const model = rfw.model.create();
  const views = rfw.views.list;
  const stats = { frames: 0, maxMs: 0, recent: new Float64Array(64) }; // draw times of the last 64 frames
  let lineCount = 0;
  let countedLines = 0;
  let lastLine = 0;
  let drawnVersion = -1;
  let hover = { view: null, x: -1, y: -1 };
  let hoverDirty = false;
  let scheduled = false;
  let link = null;
  let fleet = false;
  let chosen = -1; // fleet: the radio asked for on this connection
  let wanted = null; // fleet: "node/radio" the user chose, kept across reconnections

  function schedule() {
    if (!scheduled) { scheduled = true; requestAnimationFrame(frame); }
  }

  // Before drawing, so that a view draws its pointer mark where the pointer is.
  function hoverText(dpr) {
    const mhz = hover.view ? rfw.axis.mhzAt(hover.x) : NaN;
    const p = mhz === mhz ? { x: hover.x, y: hover.y, mhz, dpr } : null;
    let level = null;
    for (const v of views) {
      const text = v.pointer(model, v === hover.view ? p : null);
      if (v === hover.view) level = text;
    }
    if (p) ui.setHover(mhz, rfw.channels.channelAt(mhz), level);
    else ui.setHover(null);
  }

  function frame() {
    scheduled = false;
    const f = rfw.views.fit(model);
    if (drawnVersion !== model.version) ui.setPeak(rfw.model.updatePeak(model));
    if (hoverDirty || drawnVersion !== model.version) hoverText(f.dpr);
    drawnVersion = model.version;
    hoverDirty = false;
    const dirty = views.filter((v) => v.dirty(model, f));
    if (dirty.length === 0) return;
    const t0 = performance.now();
    for (const v of dirty) v.draw(model, f);
    const ms = performance.now() - t0;
    stats.recent[stats.frames % stats.recent.length] = ms;
    stats.frames++;
    stats.maxMs = Math.max(stats.maxMs, ms);
    let sum = 0;
    for (const t of stats.recent) sum += t;
    const s = views[0].canvas.dataset; // the first view carries the page's drawing figures
    s.drawMs = (sum / Math.min(stats.frames, stats.recent.length)).toFixed(3);
    s.drawMaxMs = stats.maxMs.toFixed(3);
    s.frames = String(stats.frames);
  }

  // One frame into the model and the views that count lines.
  function show(buf, now) {
    if (!rfw.model.applyFrame(model, buf, now)) return false;
    if (model.last) for (const v of views) if (v.line) v.line(model);
    schedule();
    return true;
  }

  // Forgets what the views show: another radio, or a recording's seek.
  function resetViews() {
    rfw.model.clear(model);
    rfw.density.clear();
    rfw.air.clear();
    ui.setPeak(rfw.model.updatePeak(model));
    schedule();
  }

  // Live frames are recorded and counted while a recording plays, not drawn.
  function onFrame(buf) {
    rfw.recorder.frame(buf);
    lineCount++;
    lastLine = Date.now();
    if (!rfw.player.active()) show(buf, performance.now());
  }

  function onText(msg) {
    if (msg.type === 'status') {
      ui.setStatus(msg.daemon === 'connected' ? 'connected' : 'daemon-unreachable');
      rfw.recorder.daemon(msg.daemon === 'connected' ? 'connected' : 'unreachable');
    } else if (msg.type === 'error') {
      ui.showError(String(msg.message));
    } else if (msg.type === 'sent') {
      ui.hideError();
      ui.notice((fleet ? 'sent to the radio: ' : 'sent to rfwatchd: ') + JSON.stringify(msg.command));
    } else if (msg.type === 'air') {
      rfw.recorder.air(msg.line);
      if (!model.paused && !rfw.player.active()) rfw.air.apply(msg.line, performance.now());
    } else if (msg.type === 'fleet') {
      fleet = true;
      ui.showFleet();
      rfw.fleetAir.show(userSelects);
    } else if (msg.type === 'radio' && Number.isInteger(msg.id)) {
      ui.setRadio(msg);
      rfw.fleetAir.update(msg, performance.now());
      // Show something at once: the radio chosen before, else the first heard of.
      if (chosen < 0 && (wanted === null || wanted === `${msg.node}/${msg.radio}`)) selectRadio(msg.id);
    } else if (msg.type === 'selected' && Number.isInteger(msg.radio)) {
      // Frames after this message are the new radio's.
      if (!rfw.player.active()) resetViews();
      lineCount = countedLines = 0;
      lastLine = 0;
      ui.markRadio(msg.radio);
      rfw.fleetAir.tick(performance.now()); // marks the radio shown
      const opt = document.querySelector(`#radio option[value="${msg.radio}"]`);
      if (opt) rfw.recorder.radioShown(opt.dataset.radio, `${location.host} ${opt.dataset.node}/${opt.dataset.radio}`);
    }
  }

  function selectRadio(id) {
    chosen = id;
    link.send({ type: 'select', radio: id });
  }

  function userSelects(id) {
    const opt = document.querySelector(`#radio option[value="${id}"]`);
    if (opt) wanted = `${opt.dataset.node}/${opt.dataset.radio}`;
    selectRadio(id);
  }

  ui.bind({
    detector(d) { rfw.model.select(model, d); schedule(); },
    pause(p) { model.paused = p; },
    resetMax() { rfw.model.resetMax(model); schedule(); },
    selectRadio(id) { if (fleet) userSelects(id); },
    command(cmd) { if (!link.send(cmd)) ui.showError('not connected to rfwatch-web: command not sent'); },
  });
  rfw.recorder.bind((text) => ui.notice('recorded ' + text));
  rfw.player.bind({
    enter() { document.body.classList.add('replaying'); resetViews(); },
    leave() { document.body.classList.remove('replaying'); resetViews(); },
    reset: resetViews,
    frame: show,
    air(line, now) { if (!model.paused) rfw.air.apply(line, now); },
  });
  rfw.views.onPointer((view, x, y) => { hover = { view, x, y }; hoverDirty = true; schedule(); });
  link = rfw.connection.connect({
    onOpen() {}, // the server's status message says whether rfwatchd is there
    onClose() {
      ui.setStatus('connecting');
      chosen = -1; // a new connection starts with none; the radio entries bring it back
    },
    onFrame, onText,
  });
  setInterval(() => {
    ui.setRate(lineCount - countedLines, lastLine);
    countedLines = lineCount;
    // A paused recording keeps its air panel as it was at that moment.
    if (!rfw.player.active() || rfw.player.playing()) rfw.air.tick(performance.now());
    rfw.fleetAir.tick(performance.now());
  }, 1000);
  window.addEventListener('resize', schedule);
  rfw.app = { model, stats };
  schedule();
})(window.rfw = window.rfw || {});
