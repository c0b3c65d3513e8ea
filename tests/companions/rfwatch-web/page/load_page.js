// SPDX-License-Identifier: MIT
'use strict';
// Runs page scripts in Node as the page loads them, each adding itself to
// window.rfw; only scripts that need no document load so.
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const PAGE = path.join(__dirname, '..', '..', '..', '..', 'companions', 'rfwatch-web', 'page');

exports.loadPage = (...files) => {
  globalThis.window = { rfw: {} };
  for (const f of files) vm.runInThisContext(fs.readFileSync(path.join(PAGE, f), 'utf8'), { filename: f });
  return globalThis.window.rfw;
};
