// Reads a WARC file with warcio.js and checks what a reader relies on: a warcinfo record first,
// every record's block digest, every response's payload digest (over the body with any chunked
// framing taken off). Prints one JSON line: the record types in order, the responses per address
// and the problems found.
import { createRequire } from "module";
import { createHash } from "crypto";
import fs from "fs";

const require = createRequire(process.argv[3] + "/");
const { WARCParser } = require("warcio");

function base32(bytes) {
  const alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
  let out = "", buffer = 0, bits = 0;
  for (const byte of bytes) {
    buffer = (buffer << 8) | byte;
    bits += 8;
    while (bits >= 5) {
      out += alphabet[(buffer >>> (bits - 5)) & 31];
      bits -= 5;
    }
  }
  return out;
}
const sha1 = (bytes) => "sha1:" + base32(createHash("sha1").update(bytes).digest());

function payloadOf(block) {
  const text = Buffer.from(block);
  const end = text.indexOf("\r\n\r\n");
  if (end < 0) return Buffer.alloc(0);
  const head = text.subarray(0, end).toString("latin1").toLowerCase();
  let body = text.subarray(end + 4);
  if (!/\ntransfer-encoding:\s*chunked/.test(head)) return body;
  const parts = [];
  for (;;) {
    const line = body.indexOf("\r\n");
    if (line < 0) break;
    const size = parseInt(body.subarray(0, line).toString("latin1"), 16);
    if (!size) break;
    parts.push(body.subarray(line + 2, line + 2 + size));
    body = body.subarray(line + 4 + size);
  }
  return Buffer.concat(parts);
}

const types = [], responses = {}, problems = [];
for await (const record of new WARCParser(fs.createReadStream(process.argv[2]), { parseHttp: false })) {
  types.push(record.warcType);
  const block = await record.readFully(false);
  if (record.warcBlockDigest !== sha1(block)) problems.push("block digest of " + record.warcTargetURI);
  if (record.warcType === "response") {
    responses[record.warcTargetURI] = (responses[record.warcTargetURI] || 0) + 1;
    if (record.warcPayloadDigest !== sha1(payloadOf(block))) problems.push("payload digest of " + record.warcTargetURI);
  }
}
console.log(JSON.stringify({ types, responses, problems }));
