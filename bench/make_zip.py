#!/usr/bin/env python3
"""Writes the peer container for the listing benchmarks: a stored (uncompressed) ZIP holding the
records of a workload stream (u32 ID, u32 length, payload; little-endian), one member per record
named {ID:08X}.bin."""
import struct
import sys
import zipfile


def main(stream_path: str, zip_path: str) -> None:
    with open(stream_path, "rb") as f:
        data = f.read()
    at = 0
    with zipfile.ZipFile(zip_path, "w", compression=zipfile.ZIP_STORED, allowZip64=True) as z:
        while at < len(data):
            file_id, length = struct.unpack_from("<II", data, at)
            at += 8
            info = zipfile.ZipInfo(f"{file_id:08X}.bin", date_time=(2020, 1, 1, 0, 0, 0))
            z.writestr(info, data[at:at + length])
            at += length


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
