#include "quillmere_common/math.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace quillmere_common::math {

namespace {

// The shortest round-trip digits of `f` (no sign, no leading zeros) and the decimal exponent
// of the first digit: f = d.ddd x 10^exp.
struct Decimal {
  std::string digits;
  int exp = 0;
};

Decimal shortest_digits(float magnitude) {
  char buf[64];
  // Scientific form without precision gives the shortest round-trip digits, e.g. "1.5e-05".
  const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
  const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  const auto e = text.find('e');
  Decimal d;
  for (char c : text.substr(0, e))
    if (c != '.') d.digits.push_back(c);
  d.exp = std::atoi(std::string(text.substr(e + 1)).c_str());
  return d;
}

}  // namespace

std::string debug_float(float f) {
  if (std::isnan(f)) return "NaN";
  if (std::isinf(f)) return f < 0 ? "-inf" : "inf";
  std::string out = std::signbit(f) ? "-" : "";
  const float a = std::fabs(f);
  if (a == 0.0f) return out + "0.0";
  const Decimal d = shortest_digits(a);
  const int n = static_cast<int>(d.digits.size());
  // The thresholds are single-precision values, as the component is.
  if (a >= 1e16f || a < 1e-4f) {
    out += d.digits[0];
    if (n > 1) {
      out += '.';
      out.append(d.digits, 1);
    }
    return out + "e" + std::to_string(d.exp);
  }
  if (d.exp < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-d.exp - 1), '0');
    return out + d.digits;
  }
  const int int_digits = d.exp + 1;
  if (n > int_digits) {
    out.append(d.digits, 0, static_cast<std::size_t>(int_digits));
    out += '.';
    out.append(d.digits, static_cast<std::size_t>(int_digits));
  } else {
    out += d.digits;
    out.append(static_cast<std::size_t>(int_digits - n), '0');
    out += ".0";
  }
  return out;
}

std::string debug_text(const Vector3& v) {
  return "Vector3 { x: " + debug_float(v.x) + ", y: " + debug_float(v.y) + ", z: " + debug_float(v.z) + " }";
}

}  // namespace quillmere_common::math
