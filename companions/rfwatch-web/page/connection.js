// SPDX-License-Identifier: MIT
'use strict';
// The WebSocket to rfwatch-web: binary messages are spectrum lines, text
// messages JSON. Reopened every second while closed.
(function (rfw) {
  const RETRY_MS = 1000;
  const PROTOCOL = 'rfwatch'; // the server's WebSocket protocol name (server.h)

  function connect(h) {
    let ws = null;
    function open() {
      const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
      ws = new WebSocket(scheme + location.host + '/ws', PROTOCOL);
      ws.binaryType = 'arraybuffer';
      ws.onopen = () => h.onOpen();
      ws.onmessage = (ev) => {
        if (typeof ev.data !== 'string') { h.onFrame(ev.data); return; }
        let msg = null;
        try { msg = JSON.parse(ev.data); } catch (e) { return; }
        if (msg && typeof msg === 'object') h.onText(msg);
      };
      ws.onclose = () => {
        ws = null;
        h.onClose();
        setTimeout(open, RETRY_MS);
      };
    }
    open();
    return {
      send(obj) {
        if (!ws || ws.readyState !== WebSocket.OPEN) return false;
        ws.send(JSON.stringify(obj));
        return true;
      },
    };
  }

  rfw.connection = { connect };
})(window.rfw = window.rfw || {});
