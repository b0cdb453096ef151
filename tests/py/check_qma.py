#!/usr/bin/env python3
"""Independent checker of a QMA archive file.

Reads the file with nothing but the struct module and verifies the layout invariants:

  1  magic b"QMA\\0" and version 2
  2  60 x entry_count fits in 32 bits
  3  the index (index_offset + 60 x entry_count) lies inside the file
  4  metadata_size <= index_offset and the metadata block starts at 24 or later
  5  an archive with entries has a metadata block; the block is 4 + 40 x N bytes
  6  spans strictly ascending by namespace, contiguous from 0, inside the index, covering it
  7  every span namespace is a valid label (zero-padded, non-empty, UTF-8)
  8  index sorted by (namespace bytes, file_id) without duplicates; span records carry the
     span's namespace
  9  every entry's stored bytes lie inside the file
  10 a compressed entry is one zstd frame without a dictionary that decompresses to exactly
     `size` bytes (structure parsed here; the length checked with the zstd command when given);
     an uncompressed entry of a written archive has size == comp_size

With --written it also checks what the writers promise beyond that: payloads back to back from
offset 24, the metadata block right after them, the index ending the file, reserved fields and
unknown flag bits zero, and compression only when it made the entry shorter.

Usage: check_qma.py [--written] [--zstd PATH] ARCHIVE
Prints "ok" and exits 0, or prints one line per violation and exits 1.
"""
import struct
import subprocess
import sys

HEADER = struct.Struct("<4sIIQI")          # 24 bytes
ENTRY = struct.Struct("<32sIIQIIBBH")      # 60 bytes
SPAN = struct.Struct("<32sII")             # 40 bytes
ZSTD_MAGIC = 0xFD2FB528
U32 = 0xFFFFFFFF


def valid_label(raw):
    """None when the 32-byte field is a valid namespace, else the reason."""
    end = raw.find(b"\0")
    if end < 0:
        end = 32
    if any(raw[end:]):
        return "not zero-padded"
    if end == 0:
        return "empty"
    try:
        raw[:end].decode("utf-8", errors="strict")
    except UnicodeDecodeError as e:
        return "not UTF-8 (%s)" % e.reason
    return None


def zstd_frame_problem(frame, size):
    """Parses one zstd frame; None when it is one complete frame without a dictionary."""
    if len(frame) < 6:
        return "too short for a zstd frame"
    (magic,) = struct.unpack_from("<I", frame, 0)
    if magic != ZSTD_MAGIC:
        return "not a zstd frame (magic %08x)" % magic
    fhd = frame[4]
    fcs_flag, single, reserved, checksum, dict_flag = fhd >> 6, (fhd >> 5) & 1, (fhd >> 3) & 1, (fhd >> 2) & 1, fhd & 3
    if reserved:
        return "reserved frame header bit set"
    pos = 5
    if not single:
        pos += 1  # window descriptor
    dict_size = [0, 1, 2, 4][dict_flag]
    if pos + dict_size > len(frame):
        return "frame header cut short"
    dict_id = int.from_bytes(frame[pos:pos + dict_size], "little")
    if dict_id != 0:
        return "frame needs dictionary %d" % dict_id
    pos += dict_size
    fcs_size = [1 if single else 0, 2, 4, 8][fcs_flag]
    if pos + fcs_size > len(frame):
        return "frame header cut short"
    if fcs_size:
        fcs = int.from_bytes(frame[pos:pos + fcs_size], "little") + (256 if fcs_size == 2 else 0)
        if fcs != size:
            return "frame content size %d != size %d" % (fcs, size)
    pos += fcs_size
    while True:
        if pos + 3 > len(frame):
            return "block header cut short"
        bh = int.from_bytes(frame[pos:pos + 3], "little")
        pos += 3
        last, btype, bsize = bh & 1, (bh >> 1) & 3, bh >> 3
        if btype == 3:
            return "reserved block type"
        pos += 1 if btype == 1 else bsize
        if pos > len(frame):
            return "block cut short"
        if last:
            break
    if checksum:
        pos += 4
    if pos != len(frame):
        return "%d bytes after the frame (more than one frame)" % (len(frame) - pos) if pos < len(frame) else "checksum cut short"
    return None


def check(data, written=False, zstd=None):
    errors = []
    bad = lambda n, msg: errors.append("invariant %s: %s" % (n, msg))
    if len(data) < HEADER.size:
        bad(1, "file shorter than the header")
        return errors
    magic, version, count, index_offset, metadata_size = HEADER.unpack_from(data, 0)
    if magic != b"QMA\0":
        bad(1, "magic %r" % magic)
    if version != 2:
        bad(1, "version %d" % version)
    if errors:
        return errors
    if 60 * count > U32:
        bad(2, "entry_count %d" % count)
        return errors
    index_end = index_offset + 60 * count
    if index_end > len(data):
        bad(3, "index ends at %d past the file length %d" % (index_end, len(data)))
        return errors
    if metadata_size > index_offset or index_offset - metadata_size < 24:
        bad(4, "metadata block [%d, %d) overlaps the header" % (index_offset - metadata_size, index_offset))
        return errors
    meta_start = index_offset - metadata_size
    if count and not metadata_size:
        bad(5, "entries without a metadata block")
        return errors

    spans = []
    if metadata_size:
        if metadata_size < 4:
            bad(5, "metadata block of %d bytes" % metadata_size)
            return errors
        (n,) = struct.unpack_from("<I", data, meta_start)
        if metadata_size != 4 + 40 * n:
            bad(5, "metadata_size %d for %d spans" % (metadata_size, n))
            return errors
        spans = [SPAN.unpack_from(data, meta_start + 4 + 40 * k) for k in range(n)]
    expected = 0
    for k, (ns, start, span_count) in enumerate(spans):
        reason = valid_label(ns)
        if reason:
            bad(7, "span %d namespace %s" % (k, reason))
        if k and spans[k - 1][0] >= ns:
            bad(6, "span %d not after span %d" % (k, k - 1))
        if start != expected:
            bad(6, "span %d starts at %d, expected %d" % (k, start, expected))
        if start + span_count > U32 or start + span_count > count:
            bad(6, "span %d ends at %d past entry_count %d" % (k, start + span_count, count))
        expected = start + span_count
    if expected != count:
        bad(6, "spans cover %d of %d entries" % (expected, count))

    entries = [ENTRY.unpack_from(data, index_offset + 60 * i) for i in range(count)]
    for i in range(1, count):
        if (entries[i - 1][0], entries[i - 1][1]) >= (entries[i][0], entries[i][1]):
            bad(8, "records %d and %d out of order or duplicate" % (i - 1, i))
    for k, (ns, start, span_count) in enumerate(spans):
        for i in range(start, min(start + span_count, count)):
            if entries[i][0] != ns:
                bad(8, "record %d lies in span %d but has another namespace" % (i, k))

    for i, (ns, file_id, type_id, offset, size, comp_size, flags, storage_id, reserved) in enumerate(entries):
        if offset + comp_size > len(data):
            bad(9, "record %d stored bytes [%d, %d) past the end" % (i, offset, offset + comp_size))
            continue
        stored = data[offset:offset + comp_size]
        if flags & 1:
            problem = zstd_frame_problem(stored, size)
            if problem:
                bad(10, "record %d: %s" % (i, problem))
            elif zstd:
                out = subprocess.run([zstd, "-d", "-c", "-q"], input=stored, capture_output=True)
                if out.returncode != 0:
                    bad(10, "record %d: zstd cannot decompress it" % i)
                elif len(out.stdout) != size:
                    bad(10, "record %d decompresses to %d bytes, size says %d" % (i, len(out.stdout), size))
            if written and comp_size >= size:
                bad("W", "record %d stored compressed although not shorter" % i)
        elif written and size != comp_size:
            bad(10, "record %d uncompressed with size %d != comp_size %d" % (i, size, comp_size))
        if written and (storage_id or reserved or flags & ~0x05):
            bad("W", "record %d has reserved fields or flag bits set" % i)

    if written:
        if metadata_size != 4 + 40 * len(spans):
            bad("W", "metadata block missing")
        if index_end != len(data):
            bad("W", "index does not end the file")
        pos = 24
        for offset, comp_size in sorted((e[3], e[5]) for e in entries):
            if offset != pos:
                bad("W", "payload at %d, expected %d" % (offset, pos))
                break
            pos += comp_size
        if pos != meta_start and not errors:
            bad("W", "payloads end at %d but metadata starts at %d" % (pos, meta_start))
    return errors


def main(argv):
    written = "--written" in argv
    zstd = None
    args = [a for a in argv if a != "--written"]
    if "--zstd" in args:
        at = args.index("--zstd")
        zstd = args[at + 1]
        del args[at:at + 2]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    with open(args[0], "rb") as f:
        data = f.read()
    errors = check(data, written, zstd)
    for e in errors:
        print(e)
    if not errors:
        print("ok")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
