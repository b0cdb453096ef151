// Vector3 text and the geometry record readers.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "quillmere_common/math.hpp"
#include "quillmere_dat/geometry.hpp"

namespace {

using quillmere_common::math::debug_float;
using quillmere_common::math::debug_text;
using quillmere_common::math::Quaternion;
using quillmere_common::math::Vector3;
using quillmere_dat::ByteCursor;
using quillmere_dat::ReadError;

TEST(DebugFloat, SpecExamples) {
  EXPECT_EQ(debug_text(Vector3{12.5f, -3.0f, 0.0f}), "Vector3 { x: 12.5, y: -3.0, z: 0.0 }");
  EXPECT_EQ(debug_text(Vector3{1.0f, 0.1f, -2.0f}), "Vector3 { x: 1.0, y: 0.1, z: -2.0 }");
  EXPECT_EQ(debug_text(Vector3{1e17f, 1e-5f, 0.0f}), "Vector3 { x: 1e17, y: 1e-5, z: 0.0 }");
  EXPECT_EQ(debug_float(1.0f), "1.0");
  EXPECT_EQ(debug_float(0.1f), "0.1");
  EXPECT_EQ(debug_float(-0.5f), "-0.5");
  EXPECT_EQ(debug_float(1e16f), "1e16");
  EXPECT_EQ(debug_float(1.5e-5f), "1.5e-5");
  EXPECT_EQ(debug_float(-0.0f), "-0.0");
  EXPECT_EQ(debug_float(std::numeric_limits<float>::quiet_NaN()), "NaN");
  EXPECT_EQ(debug_float(-std::numeric_limits<float>::quiet_NaN()), "NaN");
  EXPECT_EQ(debug_float(std::numeric_limits<float>::infinity()), "inf");
  EXPECT_EQ(debug_float(-std::numeric_limits<float>::infinity()), "-inf");
}

TEST(DebugFloat, PositionalAndExponentBoundaries) {
  EXPECT_EQ(debug_float(100.0f), "100.0");
  EXPECT_EQ(debug_float(16777216.0f), "16777216.0");
  EXPECT_EQ(debug_float(123456789.0f), "123456790.0");
  EXPECT_EQ(debug_float(1e15f), "1000000000000000.0");
  EXPECT_EQ(debug_float(9.999999e15f), "9999999000000000.0");
  EXPECT_EQ(debug_float(-1e16f), "-1e16");
  EXPECT_EQ(debug_float(std::numeric_limits<float>::max()), "3.4028235e38");
  EXPECT_EQ(debug_float(1e-4f), "0.0001");  // the single nearest 1e-4 is not below the threshold
  EXPECT_EQ(debug_float(std::nextafter(1e-4f, 0.0f)), "9.999999e-5");
  EXPECT_EQ(debug_float(0.00012f), "0.00012");
  EXPECT_EQ(debug_float(-1.25e-7f), "-1.25e-7");
  EXPECT_EQ(debug_float(std::numeric_limits<float>::denorm_min()), "1e-45");
  EXPECT_EQ(debug_float(std::numeric_limits<float>::min()), "1.1754944e-38");
  EXPECT_EQ(debug_float(0.3f), "0.3");
  EXPECT_EQ(debug_float(2.5f), "2.5");
  EXPECT_EQ(debug_float(1234.5677f), "1234.5677");
}

// Every printed value reads back to the same float, and no shorter digit string would.
TEST(DebugFloat, RoundTripsForRandomBitPatterns) {
  std::mt19937 rng(42);
  for (int i = 0; i < 200000; ++i) {
    const float f = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    const std::string s = debug_float(f);
    if (std::isnan(f)) {
      EXPECT_EQ(s, "NaN");
      continue;
    }
    ASSERT_NE(s.find_first_of(".e"), std::string::npos) << s;
    if (auto dot = s.find('.'); dot != std::string::npos) {
      ASSERT_LT(dot + 1, s.size()) << s;
    }
    const float back = std::strtof(s.c_str(), nullptr);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(f)) << s;
    const float a = std::fabs(f);
    const bool exp_form = s.find('e') != std::string::npos;
    ASSERT_EQ(exp_form, a >= 1e16f || (a != 0 && a < 1e-4f)) << s;
  }
}

std::vector<std::uint8_t> floats(std::initializer_list<float> values) {
  std::vector<std::uint8_t> out;
  for (float v : values) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
  }
  return out;
}

TEST(GeometryReaders, Vector3ReadsThreeLittleEndianFloats) {
  auto data = floats({1.0f, -2.5f, 1e-5f});
  data.push_back(0x77);
  ByteCursor c(data);
  auto v = quillmere_dat::read_vector3(c);
  ASSERT_TRUE(v);
  EXPECT_EQ(*v, (Vector3{1.0f, -2.5f, 1e-5f}));
  EXPECT_EQ(c.position(), 12u);
}

TEST(GeometryReaders, Vector3FailureNamesTheFieldAndRestoresTheCursor) {
  const auto full = floats({1.0f, 2.0f, 3.0f});
  const char* expected[] = {"x", "x", "x", "x", "y", "y", "y", "y", "z", "z", "z", "z"};
  for (std::size_t len = 0; len < 12; ++len) {
    std::vector<std::uint8_t> data = {0xEE, 0xEE};  // the record starts at offset 2
    data.insert(data.end(), full.begin(), full.begin() + static_cast<std::ptrdiff_t>(len));
    ByteCursor c(data, 2);
    auto v = quillmere_dat::read_vector3(c);
    ASSERT_FALSE(v) << len;
    EXPECT_EQ(c.position(), 2u) << len;
    const ReadError& e = v.error();
    EXPECT_EQ(e.kind(), ReadError::Kind::Io);
    EXPECT_EQ(e.base_message(), "failed to fill whole buffer");
    ASSERT_EQ(e.frames().size(), 1u);
    EXPECT_EQ(e.frames()[0].message, std::string("While parsing field '") + expected[len] + "' in Vector3");
  }
}

TEST(GeometryReaders, QuaternionReadsWFirst) {
  const auto data = floats({0.5f, 1.0f, 2.0f, 3.0f});
  ByteCursor c(data);
  auto q = quillmere_dat::read_quaternion(c);
  ASSERT_TRUE(q);
  EXPECT_EQ(*q, (Quaternion{0.5f, 1.0f, 2.0f, 3.0f}));
  EXPECT_EQ(c.position(), 16u);
}

TEST(GeometryReaders, QuaternionFailureNamesTheFieldAndRestoresTheCursor) {
  const auto full = floats({0.5f, 1.0f, 2.0f, 3.0f});
  const char* names[] = {"w", "x", "y", "z"};
  for (std::size_t len = 0; len < 16; ++len) {
    std::vector<std::uint8_t> data(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(len));
    ByteCursor c(data);
    auto q = quillmere_dat::read_quaternion(c);
    ASSERT_FALSE(q) << len;
    EXPECT_EQ(c.position(), 0u);
    ASSERT_EQ(q.error().frames().size(), 1u);
    EXPECT_EQ(q.error().frames()[0].message,
              std::string("While parsing field '") + names[len / 4] + "' in Quaternion");
  }
}

}  // namespace
