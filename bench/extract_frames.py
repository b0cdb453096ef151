#!/usr/bin/env python3
"""Writes every compressed entry's zstd frame of a QMA archive, back to back, into one file, so
`zstd -t` can check the same frames that `dat-tool verify` decompresses."""
import struct
import sys


def main(archive: str, out_path: str) -> None:
    with open(archive, "rb") as f, open(out_path, "wb") as out:
        header = f.read(24)
        _, _, count, index_offset, _ = struct.unpack("<4sIIQI", header)
        f.seek(index_offset)
        index = f.read(60 * count)
        for i in range(count):
            _, _, _, offset, _, comp_size, flags = struct.unpack_from("<32sIIQIIB", index, 60 * i)
            if flags & 1:
                f.seek(offset)
                out.write(f.read(comp_size))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
