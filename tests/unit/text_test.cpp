// Stored text: decode_stored_text, read_pstring, read_obfuscated_string.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "quillmere_dat/text.hpp"
#include "run_tool.hpp"

namespace {

using quillmere_dat::ByteCursor;
using quillmere_dat::ReadError;
using quillmere_dat::utils::decode_stored_text;
using quillmere_dat::utils::read_obfuscated_string;
using quillmere_dat::utils::read_pstring;
using Bytes = std::vector<std::uint8_t>;

std::string dec(const Bytes& b) { return decode_stored_text(b); }
std::string u8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

bool is_eof(const ReadError& e) {
  return e.kind() == ReadError::Kind::Io && e.io_error().message == "failed to fill whole buffer";
}

// ---- read_pstring, worked examples ----

TEST(ReadPstring, UnsupportedLengthSizeFailsAtPositionAndConsumesNothing) {
  const Bytes data = {0xAA, 0x01, 0x00, 0x41};
  for (unsigned size : {0u, 3u, 5u, 8u}) {
    ByteCursor c(data, 1);
    auto r = read_pstring(c, size);
    ASSERT_FALSE(r) << size;
    EXPECT_EQ(r.error().kind(), ReadError::Kind::Assert);
    EXPECT_EQ(r.error().assert_message(), "Unsupported PString length size");
    EXPECT_EQ(r.error().position(), 1u);
    EXPECT_EQ(r.error().message(), "Unsupported PString length size at 0x1");
    EXPECT_EQ(c.position(), 1u);
  }
}

TEST(ReadPstring, ZeroPrefixGivesEmptyAndConsumesOnlyThePrefix) {
  const Bytes data = {0x00, 0x00, 0x41, 0x42};
  ByteCursor c(data);
  auto r = read_pstring(c, 2);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, "");
  EXPECT_EQ(c.position(), 2u);
  const Bytes one = {0x00};
  ByteCursor c1(one);
  ASSERT_TRUE(read_pstring(c1, 1));
  EXPECT_EQ(c1.position(), 1u);
  const Bytes four = {0, 0, 0, 0, 9};
  ByteCursor c4(four);
  ASSERT_TRUE(read_pstring(c4, 4));
  EXPECT_EQ(c4.position(), 4u);
}

TEST(ReadPstring, PrefixWidthsAndBodies) {
  const Bytes d1 = {0x02, 'h', 'i', 'x'};
  ByteCursor c1(d1);
  EXPECT_EQ(*read_pstring(c1, 1), "hi");
  EXPECT_EQ(c1.position(), 3u);
  const Bytes d2 = {0x03, 0x00, 'a', 'b', 'c', 0xFF};
  ByteCursor c2(d2);
  EXPECT_EQ(*read_pstring(c2, 2), "abc");
  EXPECT_EQ(c2.position(), 5u);  // no padding consumed
  const Bytes d4 = {0x01, 0x00, 0x00, 0x00, 'Z'};
  ByteCursor c4(d4);
  EXPECT_EQ(*read_pstring(c4, 4), "Z");
  EXPECT_EQ(c4.position(), 5u);
}

TEST(ReadPstring, ShortPrefixFailsAndKeepsPosition) {
  const Bytes data = {0x41, 0x01};
  ByteCursor c(data, 1);
  auto r = read_pstring(c, 2);
  ASSERT_FALSE(r);
  EXPECT_TRUE(is_eof(r.error()));
  EXPECT_EQ(c.position(), 1u);
  ByteCursor c4(data);
  ASSERT_FALSE(read_pstring(c4, 4));
  EXPECT_EQ(c4.position(), 0u);
  ByteCursor empty(std::span<const std::uint8_t>{});
  ASSERT_FALSE(read_pstring(empty, 1));
  EXPECT_EQ(empty.position(), 0u);
}

TEST(ReadPstring, ShortBodyMovesCursorToEndOfSpan) {
  const Bytes data = {0x05, 0x00, 'a', 'b'};
  ByteCursor c(data);
  auto r = read_pstring(c, 2);
  ASSERT_FALSE(r);
  EXPECT_TRUE(is_eof(r.error()));
  EXPECT_EQ(r.error().message(), "failed to fill whole buffer");
  EXPECT_EQ(c.position(), 4u);
  const Bytes big = {0xFF, 0xFF, 0xFF, 0xFF, 'x'};
  ByteCursor c4(big);
  ASSERT_FALSE(read_pstring(c4, 4));
  EXPECT_EQ(c4.position(), 5u);
}

TEST(ReadPstring, ByteOrderMarkExamples) {
  auto ps = [](Bytes body) {
    Bytes data = {static_cast<std::uint8_t>(body.size()), 0x00};
    data.insert(data.end(), body.begin(), body.end());
    ByteCursor c(data);
    auto r = read_pstring(c, 2);
    EXPECT_TRUE(r);
    EXPECT_EQ(c.position(), data.size());
    return r ? *r : std::string("<error>");
  };
  EXPECT_EQ(ps({0xEF, 0xBB, 0xBF}), "");
  EXPECT_EQ(ps({0xFF, 0xFE}), "");
  EXPECT_EQ(ps({0xFE, 0xFF}), "");
  EXPECT_EQ(ps({0xFF, 0xFE, 0x41, 0x00}), "A");
  EXPECT_EQ(ps({0xFE, 0xFF, 0x00, 0x41}), "A");
  EXPECT_EQ(ps({0xFF, 0xFE, 0x41}), u8(u8"\uFFFD"));
  EXPECT_EQ(ps({0xEF, 0xBB}), u8(u8"\u00EF\u00BB"));
  EXPECT_EQ(ps({0x80}), u8(u8"\u20AC"));
  EXPECT_EQ(ps({0x81}), u8(u8"\u0081"));
  // Length 1 is always windows-1252.
  EXPECT_EQ(ps({0xFF}), u8(u8"\u00FF"));
  EXPECT_EQ(ps({0xEF}), u8(u8"\u00EF"));
}

// ---- decode_stored_text ----

TEST(DecodeStoredText, Windows1252) {
  EXPECT_EQ(dec({}), "");
  EXPECT_EQ(dec({'H', 'e', 'l', 'l', 'o'}), "Hello");
  EXPECT_EQ(dec({0x80, 0x92}), u8(u8"\u20AC\u2019"));
  EXPECT_EQ(dec({0x81, 0x8D, 0x8F, 0x90, 0x9D}), u8(u8"\u0081\u008D\u008F\u0090\u009D"));
  EXPECT_EQ(dec({0x9F, 0xA0, 0xE9, 0xFF}), u8(u8"\u0178\u00A0\u00E9\u00FF"));
  EXPECT_EQ(dec({0x00, 0x7F}), std::string("\0\x7F", 2));
  // A UTF-8 text without its mark is windows-1252: C3 A9 is two characters.
  EXPECT_EQ(dec({0xC3, 0xA9}), u8(u8"\u00C3\u00A9"));
}

TEST(DecodeStoredText, Utf8WithMark) {
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xC3, 0xA9}), u8(u8"\u00E9"));
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xF0, 0x9F, 0x98, 0x80}), u8(u8"\U0001F600"));
  // A second mark is a character.
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF}), u8(u8"\uFEFF"));
  // Malformed input: replacement following the WHATWG rules.
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xFF}), u8(u8"\uFFFD"));
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xE0, 0x80, 0x41}), u8(u8"\uFFFD\uFFFDA"));
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xE2, 0x82}), u8(u8"\uFFFD"));
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xED, 0xA0, 0x80}), u8(u8"\uFFFD\uFFFD\uFFFD"));  // surrogate
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xC0, 0xAF}), u8(u8"\uFFFD\uFFFD"));              // overlong
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xF4, 0x90, 0x80, 0x80}), u8(u8"\uFFFD\uFFFD\uFFFD\uFFFD"));
  EXPECT_EQ(dec({0xEF, 0xBB, 0xBF, 0xF0, 0x9F, 0x41}), u8(u8"\uFFFDA"));
}

TEST(DecodeStoredText, Utf16WithMark) {
  EXPECT_EQ(dec({0xFF, 0xFE, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE}), u8(u8"\u00E9\U0001F600"));
  EXPECT_EQ(dec({0xFE, 0xFF, 0x00, 0xE9, 0xD8, 0x3D, 0xDE, 0x00}), u8(u8"\u00E9\U0001F600"));
  EXPECT_EQ(dec({0xFF, 0xFE, 0xFF, 0xFE}), u8(u8"\uFEFF"));  // a second mark is a character
  EXPECT_EQ(dec({0xFF, 0xFE, 0x00, 0xDC, 0x41, 0x00}), u8(u8"\uFFFDA"));  // lone trail
  EXPECT_EQ(dec({0xFF, 0xFE, 0x00, 0xD8, 0x41, 0x00}), u8(u8"\uFFFDA"));  // lone lead
  EXPECT_EQ(dec({0xFF, 0xFE, 0x00, 0xD8}), u8(u8"\uFFFD"));               // lead at the end
  EXPECT_EQ(dec({0xFF, 0xFE, 0x00, 0xD8, 0x00}), u8(u8"\uFFFD"));         // lead and odd byte
  EXPECT_EQ(dec({0xFF, 0xFE, 0x00, 0xD8, 0x00, 0xD8, 0x00, 0xDC}), u8(u8"\uFFFD\U00010000"));
  EXPECT_EQ(dec({0xFE, 0xFF, 0x00, 0x41, 0x00}), u8(u8"A\uFFFD"));        // odd trailing byte
}

// ---- read_obfuscated_string ----

Bytes swap_nibbles(Bytes b) {
  for (auto& x : b) x = static_cast<std::uint8_t>((x << 4) | (x >> 4));
  return b;
}
std::string obf(const Bytes& stored, std::size_t* consumed = nullptr) {
  Bytes data = {static_cast<std::uint8_t>(stored.size() & 0xFF), static_cast<std::uint8_t>(stored.size() >> 8)};
  data.insert(data.end(), stored.begin(), stored.end());
  data.push_back(0xAB);  // a following byte that must not be consumed
  ByteCursor c(data);
  auto r = read_obfuscated_string(c);
  EXPECT_TRUE(r);
  if (consumed) *consumed = c.position();
  return r ? *r : std::string("<error>");
}

TEST(ReadObfuscatedString, NibbleSwapExamples) {
  EXPECT_EQ(swap_nibbles({0x54, 0x6F}), (Bytes{0x45, 0xF6}));
  std::size_t consumed = 0;
  EXPECT_EQ(obf({0x54, 0x07, 0x96, 0x36}, &consumed), "Epic");
  EXPECT_EQ(consumed, 6u);
  EXPECT_EQ(obf({}, &consumed), "");
  EXPECT_EQ(consumed, 2u);
  EXPECT_EQ(obf({0xFF, 0xEF, 0x14, 0x00}), "A");
  Bytes utf8 = {0xFE, 0xBB, 0xFB};
  for (auto b : swap_nibbles({0xC3, 0xA9, 'x'})) utf8.push_back(b);
  EXPECT_EQ(obf(utf8), u8(u8"\u00E9x"));
  EXPECT_EQ(obf(swap_nibbles({0x80, 0x92})), u8(u8"\u20AC\u2019"));
  EXPECT_EQ(obf(swap_nibbles({0xFE, 0xFF, 0x00, 0x41})), "A");
}

TEST(ReadObfuscatedString, ShortData) {
  const Bytes one = {0x04};
  ByteCursor c(one);
  auto r = read_obfuscated_string(c);
  ASSERT_FALSE(r);
  EXPECT_TRUE(is_eof(r.error()));
  EXPECT_EQ(c.position(), 0u);
  const Bytes cut = {0x04, 0x00, 0x54, 0x07};
  ByteCursor c2(cut);
  auto r2 = read_obfuscated_string(c2);
  ASSERT_FALSE(r2);
  EXPECT_TRUE(is_eof(r2.error()));
  EXPECT_EQ(c2.position(), 4u);
}

// ---- agreement with a WHATWG implementation (Node.js's TextDecoder) ----

std::string to_hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

void append_utf8_cp(Bytes& out, std::uint32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    s += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
  } else if (cp < 0x10000) {
    s += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
          static_cast<char>(0x80 | (cp & 0x3F))};
  } else {
    s += {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
          static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
  }
  out.insert(out.end(), s.begin(), s.end());
}

// Byte strings that exercise every decoder and its error paths; deterministic.
std::vector<Bytes> sample_inputs() {
  std::vector<Bytes> out;
  // Every string of up to two bytes: all windows-1252 pairs and the bare UTF-16 marks.
  out.push_back({});
  for (int a = 0; a < 256; ++a) out.push_back({static_cast<std::uint8_t>(a)});
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) out.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)});
  // The UTF-8 mark with every following byte and byte pair.
  for (int a = 0; a < 256; ++a) {
    out.push_back({0xEF, 0xBB, 0xBF, static_cast<std::uint8_t>(a)});
    for (int b = 0; b < 256; ++b)
      out.push_back({0xEF, 0xBB, 0xBF, static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)});
  }

  std::mt19937 rng(0x5EED1252u);
  auto byte = [&] { return static_cast<std::uint8_t>(rng() & 0xFF); };
  auto below = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  const Bytes marks[] = {{}, {0xEF, 0xBB, 0xBF}, {0xFF, 0xFE}, {0xFE, 0xFF}};

  for (int i = 0; i < 30000; ++i) {
    const Bytes& mark = marks[i % 4];
    Bytes b = mark;
    const std::uint32_t len = below(24);
    switch (below(5)) {
      case 0:  // arbitrary bytes
        for (std::uint32_t k = 0; k < len; ++k) b.push_back(byte());
        break;
      case 1:  // bytes from the interesting ranges
        for (std::uint32_t k = 0; k < len; ++k) {
          static const std::uint8_t pool[] = {0x00, 0x41, 0x7F, 0x80, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0x9F,
                                              0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0,
                                              0xF4, 0xF5, 0xFE, 0xFF, 0xD8, 0xDB, 0xDC, 0xDF, 0xBB};
          b.push_back(pool[below(sizeof pool)]);
        }
        break;
      case 2: {  // valid UTF-8 of random code points, then damaged (cut, flipped or dropped bytes)
        Bytes body;
        for (std::uint32_t k = 0; k < len / 2 + 1; ++k) {
          std::uint32_t cp;
          switch (below(4)) {
            case 0: cp = below(0x80); break;
            case 1: cp = 0x80 + below(0x780); break;
            case 2: cp = 0x800 + below(0xF800); break;
            default: cp = 0x10000 + below(0x100000); break;
          }
          if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
          append_utf8_cp(body, cp);
        }
        const std::uint32_t damage = below(4);
        for (std::uint32_t d = 0; d < damage && !body.empty(); ++d) {
          const std::uint32_t at = below(static_cast<std::uint32_t>(body.size()));
          switch (below(3)) {
            case 0: body.resize(at); break;
            case 1: body[at] = byte(); break;
            default: body.erase(body.begin() + at); break;
          }
        }
        b.insert(b.end(), body.begin(), body.end());
        break;
      }
      case 3: {  // UTF-16 code units, surrogates frequent, in either byte order; odd lengths
        const bool be = below(2) == 0;
        for (std::uint32_t k = 0; k < len / 2 + 1; ++k) {
          std::uint16_t unit;
          switch (below(4)) {
            case 0: unit = static_cast<std::uint16_t>(0xD800 + below(0x400)); break;
            case 1: unit = static_cast<std::uint16_t>(0xDC00 + below(0x400)); break;
            case 2: unit = static_cast<std::uint16_t>(below(0x100)); break;
            default: unit = static_cast<std::uint16_t>(below(0x10000)); break;
          }
          const auto hi = static_cast<std::uint8_t>(unit >> 8), lo = static_cast<std::uint8_t>(unit & 0xFF);
          if (be) {
            b.push_back(hi);
            b.push_back(lo);
          } else {
            b.push_back(lo);
            b.push_back(hi);
          }
        }
        if (below(3) == 0) b.push_back(byte());
        if (below(4) == 0 && b.size() > mark.size()) b.pop_back();
        break;
      }
      default:  // marks inside and after marks
        for (std::uint32_t k = 0; k < len / 3 + 1; ++k) {
          const Bytes& m = marks[1 + below(3)];
          b.insert(b.end(), m.begin(), m.end());
          if (below(2)) b.push_back(byte());
        }
        break;
    }
    out.push_back(std::move(b));
  }
  return out;
}

bool have_node() { return std::system("command -v node >/dev/null 2>&1") == 0; }

TEST(DecodeStoredText, AgreesWithWhatwgDecodersOfNode) {
  if (!have_node()) GTEST_SKIP() << "node (Node.js) is not installed: the comparison with its WHATWG "
                                    "TextDecoder cannot run";
  const auto inputs = sample_inputs();
  qm_test::TempDir dir;
  const auto in_path = dir / "in.txt", out_path = dir / "out.txt";
  {
    std::ofstream in(in_path, std::ios::binary);
    for (const auto& b : inputs)
      in << to_hex(std::string_view(reinterpret_cast<const char*>(b.data()), b.size())) << '\n';
  }
  const std::string script = std::string(QM_SOURCE_DIR) + "/tests/js/decode_stored_text.js";
  const std::string cmd = "node '" + script + "' '" + in_path.string() + "' '" + out_path.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

  std::ifstream result(out_path, std::ios::binary);
  std::string line;
  std::size_t i = 0, mismatches = 0;
  while (std::getline(result, line)) {
    ASSERT_LT(i, inputs.size());
    const std::string mine = to_hex(decode_stored_text(inputs[i]));
    if (mine != line && ++mismatches <= 10) {
      ADD_FAILURE() << "input " << to_hex(std::string_view(reinterpret_cast<const char*>(inputs[i].data()),
                                                           inputs[i].size()))
                    << ": ours " << mine << ", node " << line;
    }
    ++i;
  }
  EXPECT_EQ(i, inputs.size());
  EXPECT_EQ(mismatches, 0u);
}

}  // namespace
