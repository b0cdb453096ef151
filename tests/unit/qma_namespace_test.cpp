#include <gtest/gtest.h>

#include <fmt/format.h>

#include <string>
#include <unordered_set>

#include "qma_builder.hpp"
#include "quillmere_dat/archive/namespace.hpp"

namespace {

using quillmere_dat::DatError;
using quillmere_dat::archive::ResourceNamespace;
using namespace std::string_literals;

ResourceNamespace ns(std::string_view label) { return ResourceNamespace::create(label).value(); }

ResourceNamespace::Bytes raw(std::initializer_list<std::uint8_t> head) {
  ResourceNamespace::Bytes b{};
  std::copy(head.begin(), head.end(), b.begin());
  return b;
}

TEST(QmaNamespace, CreateAcceptsLabelsUpTo32BytesZeroPadded) {
  const auto portal = ns("eor/portal");
  EXPECT_EQ(portal.as_str(), "eor/portal");
  EXPECT_EQ(portal.bytes(), qm_test::ns_bytes("eor/portal"));
  EXPECT_EQ(fmt::format("[{}]", portal), "[eor/portal]");

  const std::string full(32, 'x');
  const auto n32 = ns(full);
  EXPECT_EQ(n32.as_str(), full);
  for (auto b : n32.bytes()) EXPECT_EQ(b, 'x');  // no terminating zero
  const auto back = ResourceNamespace::from_bytes(n32.bytes());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->as_str(), full);

  EXPECT_EQ(ns("h\xC3\xA9llo").as_str(), "h\xC3\xA9llo");  // any text, slashes and non-ASCII included
}

TEST(QmaNamespace, CreateRejectsInOrderEmptyTooLongNul) {
  struct Case {
    std::string label;
    std::string message;
  };
  const std::string long33(33, 'a');
  const std::vector<Case> cases = {
      {"", "namespace label cannot be empty"},
      {long33, "namespace label '" + long33 + "' exceeds 32 bytes"},
      // Length is tested before the NUL byte.
      {std::string(20, 'a') + std::string(1, '\0') + std::string(20, 'b'),
       "namespace label '" + std::string(20, 'a') + std::string(1, '\0') + std::string(20, 'b') + "' exceeds 32 bytes"},
      {"a\0b"s, "namespace label 'a\0b' contains a NUL byte"s},
      {"\0"s, "namespace label '\0' contains a NUL byte"s},
      {"ab\xFF", "namespace label is not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 2"},
  };
  for (const auto& c : cases) {
    auto r = ResourceNamespace::create(c.label);
    ASSERT_FALSE(r) << c.label;
    EXPECT_EQ(r.error().kind(), DatError::Kind::InvalidNamespace);
    EXPECT_EQ(r.error().text(), c.message);
    EXPECT_EQ(r.error().message(), "Invalid namespace: " + c.message);
  }
}

TEST(QmaNamespace, FromBytesRules) {
  struct Case {
    ResourceNamespace::Bytes bytes;
    std::string result;  // the label, or the error message
    bool ok;
  };
  ResourceNamespace::Bytes tail_garbage = raw({'a', 'b'});
  tail_garbage[31] = 1;
  const std::vector<Case> cases = {
      {raw({'a', 'b'}), "ab", true},
      {raw({'a', 'b', 0, 'c'}), "namespace bytes must be zero-padded without embedded trailing data", false},
      {tail_garbage, "namespace bytes must be zero-padded without embedded trailing data", false},
      {raw({}), "namespace label cannot be empty", false},
      // Padding is checked before emptiness.
      {raw({0, 'x'}), "namespace bytes must be zero-padded without embedded trailing data", false},
      {raw({0xC3}), "namespace bytes are not valid UTF-8: incomplete utf-8 byte sequence from index 0", false},
      {raw({'a', 0xFF, 'b'}), "namespace bytes are not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 1", false},
      {raw({0xE2, 0x82, 'A'}), "namespace bytes are not valid UTF-8: invalid utf-8 sequence of 2 bytes from index 0", false},
      {raw({'z', 0xF0, 0x9F, 0x98, 'A'}),
       "namespace bytes are not valid UTF-8: invalid utf-8 sequence of 3 bytes from index 1", false},
      {raw({0xF0, 0x9F, 0x98}), "namespace bytes are not valid UTF-8: incomplete utf-8 byte sequence from index 0", false},
      {raw({0xED, 0xA0, 0x80}), "namespace bytes are not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 0", false},
      {raw({0xC0, 0x80}), "namespace bytes are not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 0", false},
      {raw({0xE0, 0x80, 0x80}), "namespace bytes are not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 0", false},
      {raw({0xF4, 0x90, 0x80, 0x80}), "namespace bytes are not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 0", false},
      {raw({0xF0, 0x9F, 0x98, 0x80}), "\xF0\x9F\x98\x80", true},
  };
  for (const auto& c : cases) {
    auto r = ResourceNamespace::from_bytes(c.bytes);
    if (c.ok) {
      ASSERT_TRUE(r) << c.result;
      EXPECT_EQ(r->as_str(), c.result);
      EXPECT_EQ(r->bytes(), c.bytes);
    } else {
      ASSERT_FALSE(r) << c.result;
      EXPECT_EQ(r.error().kind(), DatError::Kind::InvalidNamespace);
      EXPECT_EQ(r.error().text(), c.result);
    }
  }
}

TEST(QmaNamespace, OrderingIsBytewiseOverThe32ByteForm) {
  EXPECT_LT(ns("a"), ns("ab"));
  EXPECT_LT(ns("ab"), ns("b"));
  EXPECT_LT(ns("eor/cell"), ns("eor/portal"));
  EXPECT_LT(ns("B"), ns("a"));              // bytes, not letters
  EXPECT_LT(ns("z"), ns("\xC3\xA9"));       // unsigned bytes
  EXPECT_EQ(ns("eor/cell"), ResourceNamespace::from_bytes(qm_test::ns_bytes("eor/cell")).value());
  EXPECT_NE(ns("a"), ns("ab"));

  std::unordered_set<ResourceNamespace> set{ns("a"), ns("ab"), ns("a")};
  EXPECT_EQ(set.size(), 2u);
}

TEST(QmaNamespace, Utf8ErrorAcceptsValidText) {
  using quillmere_dat::archive::utf8_error;
  EXPECT_FALSE(utf8_error(std::string_view("")));
  EXPECT_FALSE(utf8_error(std::string_view("plain / \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80")));
  EXPECT_EQ(utf8_error(std::string_view("ok\xE2\x82")).value(), "incomplete utf-8 byte sequence from index 2");
}

}  // namespace
