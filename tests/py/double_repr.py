#!/usr/bin/env python3
"""Reads one double per line as 16 hexadecimal digits of its bits (file IN) and writes, per
line, Python's repr of it (file OUT). The spell export tests compare their digit strings."""
import struct
import sys

out = []
for line in open(sys.argv[1]).read().split():
    out.append(repr(struct.unpack("<d", struct.pack("<Q", int(line, 16)))[0]))
open(sys.argv[2], "w").write("\n".join(out) + ("\n" if out else ""))
