'use strict';
// A recording's text spectrum lines become the frames rfwatch-web would
// have sent: the fields in place, bins in hundredths rounded halves away
// from zero and clamped, null kept as null; a line no frame can hold is
// refused, as the server drops it.
const test = require('node:test');
const assert = require('node:assert');
const { loadPage } = require('./load_page');

const { frameOf } = loadPage('line_frame.js').lineFrame;
const LINE = { detector: 1, freq_mhz: 5180, bandwidth_mhz: 40, noise_dbm: -95, rssi: 200, timestamp: 1765315650123456,
  num_aggregated: 7, bin_count: 4, bins: [-42.37, null, -0.5, 12.05] };

test('a spectrum line as its frame', () => {
  const cases = [
    [{}, [-4237, -32768, -50, 1205]],
    [{ bins: [327.68, -400, -0.125, -0.01] }, [32767, -32767, -13, -1]],
    [{ bins: new Array(512).fill(-90.5) }, new Array(512).fill(-9050)],
    [{ bin_count: 9 }, [-4237, -32768, -50, 1205]], // the bins decide n
  ];
  for (const [change, bins] of cases) {
    const buf = frameOf({ ...LINE, ...change });
    assert.ok(buf, JSON.stringify(change));
    const v = new DataView(buf);
    const got = [v.getUint8(0), v.getUint8(1), v.getUint16(2, true), v.getUint16(4, true), v.getInt16(6, true),
      v.getUint16(8, true), v.getUint16(10, true), v.getUint32(12, true), Number(v.getBigUint64(16, true))];
    assert.deepStrictEqual(got, [1, 1, 5180, 40, -95, 200, bins.length, 7, LINE.timestamp]);
    assert.deepStrictEqual(Array.from(new Int16Array(buf.slice(24))), bins);
    assert.strictEqual(buf.byteLength, 24 + 2 * bins.length);
  }
});

test('a line no frame can hold is refused', () => {
  const cases = [{ bins: [] }, { bins: new Array(513).fill(-90) }, { bins: 'x' }, { bins: [-90, '1'] },
    { rssi: 70000 }, { freq_mhz: 2437.5 }, { noise_dbm: -40000 }, { detector: -1 }, { timestamp: -1 },
    { num_aggregated: undefined }];
  for (const change of cases) assert.strictEqual(frameOf({ ...LINE, ...change }), null, JSON.stringify(change));
});
