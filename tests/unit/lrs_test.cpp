#include <gtest/gtest.h>

#include <random>

#include "lrs_encoder.hpp"
#include "quillmere_dat/lrs.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using quillmere_dat::utils::decompress_lrs;

Bytes str(std::string_view s) { return {s.begin(), s.end()}; }

TEST(Lrs, DecodesTable) {
  struct Case {
    const char* what;
    Bytes in;
    Bytes out;
  };
  const std::vector<Case> cases = {
      {"empty input", {}, {}},
      {"short input is copied", {1, 2, 3}, {1, 2, 3}},
      {"declared size zero", {0, 0, 0, 0, 0x00, 'a'}, {}},
      {"header only", {6, 0, 0, 0}, {}},
      {"worked example", {6, 0, 0, 0, 0x20, 'a', 'b', 0x02, 0x02}, str("ababab")},
      {"distance 1 count 17 after one literal", {50, 0, 0, 0, 0x40, 'x', 0x01, 0x0F}, Bytes(18, 'x')},
      {"distance beyond output copies the first byte", {20, 0, 0, 0, 0x10, 'a', 'b', 'c', 100, 0x01}, str("abcaaa")},
      {"output stops at the declared size mid-reference", {4, 0, 0, 0, 0x40, 'x', 0x01, 0x0F}, Bytes(4, 'x')},
      {"stream ends before the declared size", {100, 0, 0, 0, 0x00, 'a', 'b'}, str("ab")},
      {"zero distance ends the data", {100, 0, 0, 0, 0x40, 'a', 0x00, 0x03, 'z'}, str("a")},
      {"flag byte as last byte, top bit clear", {100, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00},
       str("abcdefgh")},
      {"flag byte as last byte, top bit set", {100, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x80},
       str("abcdefgh")},
      {"back-reference with only one stream byte left", {100, 0, 0, 0, 0x40, 'a', 0x01}, str("a")},
      {"back-reference before any output stops decoding", {100, 0, 0, 0, 0x80, 0x01, 0x00, 'a'}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(decompress_lrs(c.in), c.out) << c.what;
}

TEST(Lrs, HugeDeclaredSizeReservesOnlyWhatTheStreamCanYield) {
  Bytes in = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 'a', 'b'};
  auto out = decompress_lrs(in);
  EXPECT_EQ(out, str("ab"));
  EXPECT_LT(out.capacity(), 1024u);
}

TEST(Lrs, EncoderRoundTrips) {
  std::mt19937 rng(7);
  for (std::size_t len : {0u, 1u, 2u, 17u, 100u, 5000u, 70000u}) {
    Bytes text(len);
    for (auto& b : text) b = static_cast<std::uint8_t>("abcab  xyz\n"[rng() % 11]);
    Bytes noise(len);
    for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
    for (const auto& payload : {text, noise}) {
      const auto packed = qm_test::lrs_compress(payload);
      EXPECT_EQ(decompress_lrs(packed), payload) << len;
    }
  }
}

}  // namespace
