// Reference decoder for the stored-text tests: reads one hexadecimal byte string per line
// from the file named by the first argument and writes, per line, the hexadecimal UTF-8 of
// the text that the WHATWG decoders give for it, after the byte-order-mark rule of stored
// text (EF BB BF: UTF-8, FF FE: UTF-16LE, FE FF: UTF-16BE, the mark dropped; otherwise
// windows-1252). The streaming form of decode() is used throughout: in some Node versions
// the one-shot windows-1252 decode maps 0x80-0x9F wrongly.
"use strict";
const fs = require("fs");

function decode(label, bytes) {
  const d = new TextDecoder(label, { fatal: false, ignoreBOM: true });
  return d.decode(bytes, { stream: true }) + d.decode();
}

function storedText(b) {
  if (b.length >= 3 && b[0] === 0xef && b[1] === 0xbb && b[2] === 0xbf) return decode("utf-8", b.subarray(3));
  if (b.length >= 2 && b[0] === 0xff && b[1] === 0xfe) return decode("utf-16le", b.subarray(2));
  if (b.length >= 2 && b[0] === 0xfe && b[1] === 0xff) return decode("utf-16be", b.subarray(2));
  return decode("windows-1252", b);
}

const lines = fs.readFileSync(process.argv[2], "latin1").split("\n");
if (lines.length && lines[lines.length - 1] === "") lines.pop();
const out = [];
for (const line of lines) {
  const bytes = Uint8Array.from(Buffer.from(line, "hex"));
  out.push(Buffer.from(storedText(bytes), "utf8").toString("hex"));
}
fs.writeFileSync(process.argv[3], out.join("\n") + (out.length ? "\n" : ""));
