#!/usr/bin/env python3
"""Independent checker of a spell export document.

Usage: check_spell_export.py DOCUMENT EXPECTATIONS

DOCUMENT is the JSON text as written (one final line feed allowed). EXPECTATIONS says what it
must hold, one item per line:

  fileId N
  fields KEY,KEY,...
  spell ID                 starts the members of one spell, in order
  str KEY HEX              a string member; HEX is its UTF-8 in hexadecimal
  uint KEY N               an integer member
  f32 KEY BITS             a number from a single-precision value (BITS in hexadecimal),
                           equal to it widened to double; null when it is NaN or infinite
  arr KEY N,N,...          an array of integers

The document is parsed with the json module (strict: NaN, Infinity and repeated names are
errors). Besides the values it checks the member order, ascending numeric spell IDs, that
every number written with a point or an exponent has the shortest round-trip digits (those of
Python's repr) and the positional or exponent form of the document, and that the text is UTF-8
without a byte-order mark.
Prints "ok" and exits 0, or prints one line per problem and exits 1.
"""
import json
import math
import re
import struct
import sys

problems = []


def problem(msg):
    problems.append(msg)


def no_constants(name):
    raise ValueError("constant %s is not JSON" % name)


def pairs_no_repeats(pairs):
    seen = set()
    for k, _ in pairs:
        if k in seen:
            raise ValueError("repeated member name %r" % k)
        seen.add(k)
    return pairs  # keep order as a list of pairs


def repr_digits(x):
    """Significant digits and decimal exponent of the first digit, from repr."""
    r = repr(abs(x))
    m = re.fullmatch(r"(\d+)(?:\.(\d+))?(?:e([+-]\d+))?", r)
    int_part, frac, exp = m.group(1), m.group(2) or "", int(m.group(3) or 0)
    digits = (int_part + frac).lstrip("0")
    lead_zeros = len(int_part + frac) - len((int_part + frac).lstrip("0"))
    e = exp + len(int_part) - 1 - lead_zeros
    return digits.rstrip("0") or "0", e


def check_number_token(tok):
    x = float(tok)
    if x == 0:
        if tok not in ("0.0", "-0.0"):
            problem("zero written as %s" % tok)
        return x
    want_digits, want_e = repr_digits(x)
    body = tok.lstrip("-")
    m = re.fullmatch(r"(\d)(?:\.(\d+))?e([+-])(\d+)", body)
    if m:
        digits = (m.group(1) + (m.group(2) or ""))
        e = int(m.group(4)) * (-1 if m.group(3) == "-" else 1)
        if -5 <= e <= 15:
            problem("%s: exponent form for E=%d" % (tok, e))
        if m.group(2) is not None and m.group(2).endswith("0"):
            problem("%s: trailing zero digit" % tok)
        if m.group(4).startswith("0") and m.group(4) != "0":
            problem("%s: padded exponent" % tok)
    else:
        m = re.fullmatch(r"(\d+)\.(\d+)", body)
        if not m:
            problem("%s: neither positional nor exponent form" % tok)
            return x
        all_digits = m.group(1) + m.group(2)
        stripped = all_digits.lstrip("0")
        e = len(m.group(1)) - 1 - (len(all_digits) - len(stripped))
        digits = stripped.rstrip("0") or "0"
        if not (-5 <= e <= 15):
            problem("%s: positional form for E=%d" % (tok, e))
        if m.group(1) != "0" and m.group(1).startswith("0"):
            problem("%s: leading zero" % tok)
        if m.group(2) != "0" and m.group(2).endswith("0"):
            problem("%s: trailing zero after the point" % tok)
        if m.group(1) == "0" and e >= 0:
            problem("%s: bad integer part" % tok)
    if (digits, e) != (want_digits, want_e):
        problem("%s: digits %s E%d, shortest round trip is %s E%d (repr %r)" % (tok, digits, e, want_digits, want_e, x))
    return x


def main():
    doc_path, exp_path = sys.argv[1], sys.argv[2]
    raw = open(doc_path, "rb").read()
    if raw.startswith(b"\xef\xbb\xbf"):
        problem("document starts with a byte-order mark")
    text = raw.decode("utf-8")
    if text.endswith("\n"):
        text = text[:-1]
    if text.endswith("\n") or text.endswith(" "):
        problem("more than one final line feed or trailing space")
    for i, line in enumerate(text.split("\n")):
        if line != line.rstrip(" "):
            problem("line %d has trailing spaces" % (i + 1))
    if "\r" in text:
        problem("carriage return in the document")

    doc = json.loads(text, object_pairs_hook=pairs_no_repeats, parse_constant=no_constants,
                     parse_float=lambda tok: ("float", tok))

    names = [k for k, _ in doc]
    if names != ["fileId", "fields", "spells"]:
        problem("top-level members %r" % names)
    top = dict(doc)
    fields = top.get("fields", [])
    spells = top.get("spells", [])

    ids = []
    for k, _ in spells:
        if not re.fullmatch(r"0|[1-9]\d*", k):
            problem("spell name %r is not a decimal ID" % k)
        ids.append(int(k))
    if ids != sorted(ids):
        problem("spell IDs not in ascending numeric order: %r" % ids)
    for k, members in spells:
        if [m for m, _ in members] != fields:
            problem("spell %s members %r, fields %r" % (k, [m for m, _ in members], fields))

    expected_spells = []
    for line in open(exp_path, encoding="utf-8").read().splitlines():
        if not line:
            continue
        kind, _, rest = line.partition(" ")
        if kind == "fileId":
            if top.get("fileId") != int(rest) or isinstance(top.get("fileId"), bool):
                problem("fileId %r, expected %s" % (top.get("fileId"), rest))
        elif kind == "fields":
            want = rest.split(",") if rest else []
            if fields != want:
                problem("fields %r, expected %r" % (fields, want))
        elif kind == "spell":
            expected_spells.append((rest, []))
        else:
            key, _, value = rest.partition(" ")
            expected_spells[-1][1].append((kind, key, value))

    got = {k: m for k, m in spells}
    if [k for k, _ in expected_spells] != [k for k, _ in spells]:
        problem("spells %r, expected %r" % ([k for k, _ in spells], [k for k, _ in expected_spells]))
    for sid, members in expected_spells:
        have = got.get(sid)
        if have is None:
            continue
        if [m for m, _ in have] != [key for _, key, _ in members]:
            problem("spell %s has members %r" % (sid, [m for m, _ in have]))
            continue
        for (kind, key, value), (_, v) in zip(members, have):
            where = "spell %s %s" % (sid, key)
            if kind == "str":
                want = bytes.fromhex(value).decode("utf-8")
                if v != want:
                    problem("%s: %r, expected %r" % (where, v, want))
            elif kind == "uint":
                if not isinstance(v, int) or v != int(value):
                    problem("%s: %r, expected %s" % (where, v, value))
            elif kind == "arr":
                want = [int(x) for x in value.split(",")] if value else []
                if not isinstance(v, list) or v != want or any(not isinstance(x, int) for x in v):
                    problem("%s: %r, expected %r" % (where, v, want))
            elif kind == "f32":
                f = struct.unpack("<f", struct.pack("<I", int(value, 16)))[0]
                if math.isnan(f) or math.isinf(f):
                    if v is not None:
                        problem("%s: %r, expected null" % (where, v))
                elif not (isinstance(v, tuple) and v[0] == "float"):
                    problem("%s: %r is not a number with a point or exponent" % (where, v))
                else:
                    x = check_number_token(v[1])
                    if x != f or math.copysign(1, x) != math.copysign(1, f):
                        problem("%s: %s, expected %r" % (where, v[1], f))
            else:
                problem("unknown expectation %r" % kind)

    if problems:
        for p in problems:
            print(p)
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
