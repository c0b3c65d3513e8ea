// SPDX-License-Identifier: MIT
'use strict';
// The recording file of rfwatch-record, rfwatch-replay and this page
// (companions/recording/recording_format.h), little-endian:
//   header: "RFWREC", u8 version, u8 0, u32 n, n bytes of JSON, u32 CRC-32
//   record: u32 size, u8 type, u64 time (µs since the epoch), body, u32 CRC-32
// Each CRC covers every byte before it in its header or record. Reading
// stops at the first record that is torn (the file ends inside it) or
// damaged (bad size or CRC): what came before stays readable.
(function (rfw) {
  const MAGIC = 'RFWREC';
  const VERSION = 1;
  const HEADER_FIXED = 12; // magic, version, 0, JSON length
  const MAX_JSON = 4096;
  const RECORD_HEAD = 13; // size, type, time
  const CRC_SIZE = 4;
  const MAX_BODY = 65536;
  const TYPE = { frame: 1, line: 2, note: 3 };

  // CRC-32 of IEEE 802.3 (zlib's), table-driven.
  const CRC_TABLE = (() => {
    const t = new Uint32Array(256);
    for (let n = 0; n < 256; n++) {
      let c = n;
      for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
      t[n] = c >>> 0;
    }
    return t;
  })();

  function crc32(bytes, start, end) {
    let c = 0xffffffff;
    for (let i = start; i < end; i++) c = CRC_TABLE[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  }

  const encoder = new TextEncoder();
  const decoder = new TextDecoder();

  // The header's bytes for its JSON object (radio, driver, unit, source,
  // recorder, started_us).
  function headerBytes(header) {
    const json = encoder.encode(JSON.stringify(header));
    const out = new Uint8Array(HEADER_FIXED + json.length + CRC_SIZE);
    const v = new DataView(out.buffer);
    for (let i = 0; i < MAGIC.length; i++) out[i] = MAGIC.charCodeAt(i);
    out[6] = VERSION;
    v.setUint32(8, json.length, true);
    out.set(json, HEADER_FIXED);
    v.setUint32(HEADER_FIXED + json.length, crc32(out, 0, HEADER_FIXED + json.length), true);
    return out;
  }

  // One record's bytes; null when the body is too long to be a record.
  function recordBytes(type, timeUs, body) {
    if (body.length > MAX_BODY) return null;
    const out = new Uint8Array(RECORD_HEAD + body.length + CRC_SIZE);
    const v = new DataView(out.buffer);
    v.setUint32(0, body.length, true);
    out[4] = type;
    v.setBigUint64(5, BigInt(Math.max(0, Math.round(timeUs))), true);
    out.set(body, RECORD_HEAD);
    v.setUint32(RECORD_HEAD + body.length, crc32(out, 0, RECORD_HEAD + body.length), true);
    return out;
  }

  // Reads the header and indexes every whole record once, so that seeking
  // is a search over the index rather than a new pass over the file.
  // Returns {error} for a file that is not a recording; otherwise
  // {header, count, offsets, sizes, types, times, end, endOffset} where end
  // is 'whole', 'torn-header', 'torn' or 'damaged'.
  function index(buf) {
    const bytes = new Uint8Array(buf);
    const v = new DataView(buf);
    if (bytes.length < HEADER_FIXED) {
      // A file cut inside its header is still one: it has no records.
      const magic = String.fromCharCode(...bytes.subarray(0, MAGIC.length));
      if (!MAGIC.startsWith(magic)) return { error: 'not a recording (no RFWREC magic)' };
      return empty('torn-header');
    }
    if (String.fromCharCode(...bytes.subarray(0, MAGIC.length)) !== MAGIC) return { error: 'not a recording (no RFWREC magic)' };
    if (bytes[6] !== VERSION) return { error: `a recording of version ${bytes[6]}; this page reads version ${VERSION}` };
    const n = v.getUint32(8, true);
    if (n > MAX_JSON) return { error: 'not a recording (its header is too long)' };
    const crcAt = HEADER_FIXED + n;
    if (bytes.length < crcAt + CRC_SIZE) return empty('torn-header');
    if (v.getUint32(crcAt, true) !== crc32(bytes, 0, crcAt)) return { error: 'its header is damaged (CRC)' };
    let header;
    try {
      header = JSON.parse(decoder.decode(bytes.subarray(HEADER_FIXED, crcAt)));
    } catch (e) {
      return { error: 'its header is not JSON' };
    }
    if (!header || typeof header !== 'object') return { error: 'its header is not a JSON object' };
    return records(bytes, v, header, crcAt + CRC_SIZE);
  }

  function empty(end) {
    return { header: {}, count: 0, offsets: new Float64Array(0), sizes: new Uint32Array(0),
      types: new Uint8Array(0), times: new Float64Array(0), end, endOffset: 0 };
  }

  // The index's arrays, doubled as records come: a guess from the file's
  // size would be huge for the smallest records and is needless for frames.
  function grow(idx, want) {
    const cap = Math.max(1024, want * 2);
    for (const [key, Type] of [['offsets', Float64Array], ['sizes', Uint32Array], ['types', Uint8Array], ['times', Float64Array]]) {
      const a = new Type(cap);
      a.set(idx[key].subarray(0, idx.count));
      idx[key] = a;
    }
  }

  function records(bytes, v, header, first) {
    const idx = empty('whole');
    idx.header = header;
    let at = first;
    while (at < bytes.length) {
      if (bytes.length - at < RECORD_HEAD) { idx.end = 'torn'; break; }
      const size = v.getUint32(at, true);
      if (size > MAX_BODY) { idx.end = 'damaged'; break; }
      const crcAt = at + RECORD_HEAD + size;
      if (bytes.length < crcAt + CRC_SIZE) { idx.end = 'torn'; break; }
      if (v.getUint32(crcAt, true) !== crc32(bytes, at, crcAt)) { idx.end = 'damaged'; break; }
      const i = idx.count;
      if (i === idx.offsets.length) grow(idx, i);
      idx.offsets[i] = at + RECORD_HEAD;
      idx.sizes[i] = size;
      idx.types[i] = bytes[at + 4];
      // Microseconds since the epoch stay exact in a double until the year 2255.
      idx.times[i] = Number(v.getBigUint64(at + 5, true));
      idx.count++;
      at = crcAt + CRC_SIZE;
    }
    idx.endOffset = at;
    return idx;
  }

  // A record's body, without copying.
  function body(buf, idx, i) { return new Uint8Array(buf, idx.offsets[i], idx.sizes[i]); }

  rfw.recording = {
    TYPE, MAX_BODY, crc32, headerBytes, recordBytes, index, body,
    text: (bytes) => decoder.decode(bytes), utf8: (text) => encoder.encode(text),
  };
})(window.rfw = window.rfw || {});
