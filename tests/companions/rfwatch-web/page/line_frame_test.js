// SPDX-License-Identifier: MIT
'use strict';
// A recording's text spectrum line as the frame rfwatch-web would send:
// fields in place, bins in hundredths (halves away from zero, clamped,
// null kept); a line no frame can hold is refused, as the server drops it.
const test = require('node:test');
const assert = require('node:assert');
const { frameOf } = require('./load_page').loadPage('line_frame.js').lineFrame;

const LINE = { detector: 1, freq_mhz: 5180, bandwidth_mhz: 40, noise_dbm: -95, rssi: 200, timestamp: 1765315650123456,
  num_aggregated: 7, bin_count: 9, bins: [-42.37, null, -0.125, 12.05, 327.68, -400] };

test('a spectrum line as its frame', () => {
  const v = new DataView(frameOf(LINE));
  const head = [v.getUint8(0), v.getUint8(1), v.getUint16(2, true), v.getUint16(4, true), v.getInt16(6, true),
    v.getUint16(8, true), v.getUint16(10, true), v.getUint32(12, true), Number(v.getBigUint64(16, true))];
  assert.deepStrictEqual(head, [1, 1, 5180, 40, -95, 200, 6, 7, LINE.timestamp]); // the bins decide n
  assert.deepStrictEqual(Array.from(new Int16Array(v.buffer.slice(24))), [-4237, -32768, -13, 1205, 32767, -32767]);
});

test('a line no frame can hold is refused', () => {
  const cases = [{ bins: [] }, { bins: new Array(513).fill(-90) }, { bins: 'x' }, { bins: [-90, '1'] },
    { rssi: 70000 }, { freq_mhz: 2437.5 }, { noise_dbm: -40000 }, { detector: -1 }, { timestamp: -1 },
    { num_aggregated: undefined }];
  for (const change of cases) assert.strictEqual(frameOf({ ...LINE, ...change }), null, JSON.stringify(change));
});
