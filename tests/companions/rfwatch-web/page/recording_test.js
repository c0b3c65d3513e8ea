'use strict';
// The page's recording reader and writer outside a browser: files it
// writes carry zlib's CRC-32, read back record for record, and a file cut
// at any byte or damaged anywhere opens with exactly the whole records
// before the cut or the damage.
const test = require('node:test');
const assert = require('node:assert');
const zlib = require('node:zlib');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { loadPage } = require('./load_page');

const page = loadPage('recording.js', 'line_frame.js');
const R = page.recording;
const T0 = 1765315650000000;
const HEADER = { radio: 'wlan0', driver: 'ath11k', unit: 'dBm', source: '/run/rfwatchd/wlan0.sock',
  started_us: 1765315650123456, recorder: 'rfwatch-web page' };
const frame = new Uint8Array(24 + 8).map((_, i) => (i * 37) & 0xff);
const RECORDS = [
  [R.TYPE.frame, 1765315650200001, frame],
  [R.TYPE.line, 1765315651000000, R.utf8('{"air":1,"driver":"ath11k","freq_mhz":2437}')],
  [R.TYPE.note, 1765315651000000, R.utf8('{"note":"daemon","state":"unreachable"}')],
  [R.TYPE.line, 1765315652999999, new Uint8Array(0)],
];

function file() {
  const parts = [R.headerBytes(HEADER), ...RECORDS.map(([type, t, body]) => R.recordBytes(type, t, body))];
  const ends = [];
  let size = 0;
  for (const p of parts) ends.push(size += p.length);
  return { bytes: Buffer.concat(parts), headerEnd: ends[0], recordEnds: ends.slice(1) };
}

function read(bytes) {
  const copy = new Uint8Array(bytes); // its own ArrayBuffer, as File.arrayBuffer() gives
  return { copy, idx: R.index(copy.buffer) };
}

test('written records read back, each CRC being zlib\'s', () => {
  const { bytes, headerEnd, recordEnds } = file();
  const { copy, idx } = read(bytes);
  assert.deepStrictEqual({ ...idx.header }, HEADER);
  assert.strictEqual(idx.end, 'whole');
  assert.strictEqual(idx.count, RECORDS.length);
  let from = headerEnd;
  RECORDS.forEach(([type, t, body], i) => {
    assert.strictEqual(idx.types[i], type);
    assert.strictEqual(idx.times[i], t);
    assert.deepStrictEqual(Buffer.from(R.body(copy.buffer, idx, i)), Buffer.from(body));
    const end = recordEnds[i];
    assert.strictEqual(bytes.readUInt32LE(end - 4), zlib.crc32(bytes.subarray(from, end - 4)), `record ${i}`);
    from = end;
  });
  assert.strictEqual(bytes.readUInt32LE(headerEnd - 4), zlib.crc32(bytes.subarray(0, headerEnd - 4)));
});

test('a file cut at any byte keeps exactly the whole records before the cut', () => {
  const { bytes, headerEnd, recordEnds } = file();
  for (let cut = 0; cut <= bytes.length; cut++) {
    const { idx } = read(bytes.subarray(0, cut));
    const whole = recordEnds.filter((e) => e <= cut).length;
    const want = cut < headerEnd ? 'torn-header' : cut === headerEnd || recordEnds.includes(cut) ? 'whole' : 'torn';
    assert.deepStrictEqual([idx.end, idx.count], [want, whole], `cut at byte ${cut}`);
  }
});

test('damage anywhere in a record ends the reading there', () => {
  const { bytes, headerEnd, recordEnds } = file();
  const starts = [headerEnd, ...recordEnds.slice(0, -1)];
  starts.forEach((start, i) => {
    for (let at = start; at < recordEnds[i]; at++) {
      const damaged = Buffer.from(bytes);
      damaged[at] ^= 0x40;
      const { idx } = read(damaged);
      // A size grown past the end of the file cannot be told from a torn tail.
      const ends = at < start + 4 ? ['damaged', 'torn'] : ['damaged'];
      assert.ok(ends.includes(idx.end) && idx.count === i, `record ${i}, byte ${at}: ${idx.end}, ${idx.count}`);
    }
  });
});

test('what is not a recording is refused, with the reason', () => {
  const { bytes, headerEnd } = file();
  const cases = [
    ['another magic', (b) => { b[0] = 0x58; }, /magic/],
    ['another version', (b) => { b[6] = 2; }, /version 2/],
    ['a damaged header', (b) => { b[headerEnd - 6] ^= 1; }, /header is damaged/],
    ['a header too long', (b) => { b.writeUInt32LE(5000, 8); }, /too long/],
  ];
  for (const [what, spoil, reason] of cases) {
    const b = Buffer.from(bytes);
    spoil(b);
    assert.match(read(b).idx.error || '', reason, what);
  }
  assert.strictEqual(R.recordBytes(R.TYPE.line, 0, new Uint8Array(R.MAX_BODY + 1)), null);
});

// The C++ writer's file: its frames are the bytes the page would make of
// the same lines, its text lines and notes come back whole.
test('a recording of the C++ writer', { skip: !process.env.MAKE_RECORDING && 'SKIPPED: MAKE_RECORDING (the make-recording tool) not given' }, () => {
  const spectrum = (bins, extra = '') => `{"detector":0,"freq_mhz":2437,"bandwidth_mhz":20,"noise_dbm":-109,"rssi":3,` +
    `"timestamp":99,"num_aggregated":5,"bin_count":${bins.length}${extra},"bins":[${bins.join(',')}]}`;
  const lines = [
    [R.TYPE.frame, spectrum(['-42.37', 'null', '-0.50', '12.05', '327.67'])],
    [R.TYPE.line, spectrum(['-0.00'])], // a frame would give "0.00" back
    [R.TYPE.line, '{"air":1,"driver":"ath11k","freq_mhz":2437}'],
  ];
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'page-recording-'));
  const file = path.join(dir, 'made.rfwrec');
  const input = lines.map(([, line], i) => `${T0 + i}\t${line}\n`).join('') + `note\t${T0 + 9}\t{"note":"lost","lines":2}\n`;
  try {
    execFileSync(process.env.MAKE_RECORDING, [file, '--radio', 'wlan3'], { input });
    const { copy, idx } = read(fs.readFileSync(file));
    assert.deepStrictEqual([idx.header.radio, idx.header.driver, idx.end, idx.count], ['wlan3', 'ath11k', 'whole', 4]);
    lines.forEach(([type, line], i) => {
      assert.deepStrictEqual([idx.types[i], idx.times[i]], [type, T0 + i], line);
      const body = Buffer.from(R.body(copy.buffer, idx, i));
      const want = type === R.TYPE.frame ? Buffer.from(page.lineFrame.frameOf(JSON.parse(line))) : Buffer.from(line);
      assert.deepStrictEqual(body, want, line);
    });
    assert.strictEqual(idx.types[3], R.TYPE.note);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
