// SPDX-License-Identifier: MIT
'use strict';
// The page's recording reader and writer outside a browser: its CRCs are
// zlib's; a file cut at any byte, or damaged at any byte, opens with
// exactly the whole records before; the C++ writer's files read back.
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');
const { loadPage } = require('./load_page');

const page = loadPage('recording.js', 'line_frame.js');
const R = page.recording;
const T0 = 1765315650000000;
const HEADER = { radio: 'wlan0', driver: 'ath11k', unit: 'dBm', source: 'x', started_us: T0, recorder: 'rfwatch-web page' };
const RECORDS = [[R.TYPE.frame, T0 + 1, new Uint8Array(32).map((_, i) => i * 37)],
  [R.TYPE.line, T0 + 2, R.utf8('{"air":1}')], [R.TYPE.note, T0 + 2, R.utf8('{"note":"lost","lines":1}')],
  [R.TYPE.line, T0 + 999999, new Uint8Array(0)]];
const parts = [R.headerBytes(HEADER), ...RECORDS.map(([type, t, body]) => R.recordBytes(type, t, body))];
const BYTES = Buffer.concat(parts);
const ENDS = parts.map((p, i) => parts.slice(0, i + 1).reduce((n, q) => n + q.length, 0)); // header, records

function read(bytes) {
  const copy = new Uint8Array(bytes); // its own ArrayBuffer, as File.arrayBuffer() gives
  return { copy, idx: R.index(copy.buffer) };
}

test('records read back, their CRCs zlib\'s', () => {
  const { copy, idx } = read(BYTES);
  assert.deepStrictEqual([{ ...idx.header }, idx.end, idx.count], [HEADER, 'whole', RECORDS.length]);
  RECORDS.forEach(([type, t, body], i) => {
    assert.deepStrictEqual([idx.types[i], idx.times[i], Buffer.from(R.body(copy.buffer, idx, i))], [type, t, Buffer.from(body)]);
  });
  ENDS.forEach((end, i) => {
    assert.strictEqual(BYTES.readUInt32LE(end - 4), zlib.crc32(BYTES.subarray(i ? ENDS[i - 1] : 0, end - 4)), `part ${i}`);
  });
});

test('a cut or a damaged byte anywhere keeps exactly the whole records before it', () => {
  for (let at = 0; at <= BYTES.length; at++) {
    const whole = ENDS.slice(1).filter((e) => e <= at).length;
    const cut = read(BYTES.subarray(0, at)).idx;
    const want = at < ENDS[0] ? 'torn-header' : ENDS.includes(at) ? 'whole' : 'torn';
    assert.deepStrictEqual([cut.end, cut.count], [want, whole], `cut at byte ${at}`);
    if (at < ENDS[0] || at >= BYTES.length) continue;
    const damaged = Buffer.from(BYTES);
    damaged[at] ^= 0x40;
    const { idx } = read(damaged);
    // A size grown past the end of the file cannot be told from a torn tail.
    const ends = ENDS.some((e) => at >= e && at < e + 4) ? ['damaged', 'torn'] : ['damaged'];
    assert.ok(ends.includes(idx.end) && idx.count === whole, `damage at byte ${at}: ${idx.end}, ${idx.count}`);
  }
});

test('what is not a recording is refused, with the reason', () => {
  const cases = [[0, 0x58, /magic/], [6, 2, /version 2/], [ENDS[0] - 6, 0x7f, /header is damaged/], [9, 0x40, /too long/]];
  for (const [at, value, reason] of cases) {
    const b = Buffer.from(BYTES);
    b[at] = value;
    assert.match(read(b).idx.error || '', reason, `byte ${at}`);
  }
  assert.strictEqual(R.recordBytes(R.TYPE.line, 0, new Uint8Array(R.MAX_BODY + 1)), null);
});

// Its frames are the bytes the page makes of the same lines.
test('a recording of the C++ writer', { skip: !process.env.MAKE_RECORDING && 'SKIPPED: MAKE_RECORDING (the tool) not set' }, () => {
  const line = (bins) => '{"detector":0,"freq_mhz":2437,"bandwidth_mhz":20,"noise_dbm":-109,"rssi":3,"timestamp":99,' +
    `"num_aggregated":5,"bin_count":${bins.length},"bins":[${bins}]}`;
  const lines = [[R.TYPE.frame, line(['-42.37', 'null', '-0.50', '12.05', '327.67'])],
    [R.TYPE.line, line(['-0.00'])], [R.TYPE.line, '{"air":1,"driver":"ath11k","freq_mhz":2437}']]; // "-0.00": no frame gives it back
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'page-recording-')), 'made.rfwrec');
  const input = lines.map(([, text], i) => `${T0 + i}\t${text}\n`).join('') + `note\t${T0 + 9}\t{"note":"lost","lines":2}\n`;
  try {
    execFileSync(process.env.MAKE_RECORDING, [file, '--radio', 'wlan3'], { input });
    const { copy, idx } = read(fs.readFileSync(file));
    assert.deepStrictEqual([idx.header.radio, idx.header.driver, idx.end, idx.count, idx.types[3]], ['wlan3', 'ath11k', 'whole', 4, R.TYPE.note]);
    lines.forEach(([type, text], i) => {
      const want = Buffer.from(type === R.TYPE.frame ? page.lineFrame.frameOf(JSON.parse(text)) : R.utf8(text));
      assert.deepStrictEqual([idx.types[i], idx.times[i], Buffer.from(R.body(copy.buffer, idx, i))], [type, T0 + i, want], text);
    });
  } finally {
    fs.rmSync(path.dirname(file), { recursive: true, force: true });
  }
});
