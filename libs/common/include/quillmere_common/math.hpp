#pragma once
// Plain 32-bit float records of the game's geometry.
#include <string>

namespace quillmere_common::math {

struct Vector3 {
  float x = 0, y = 0, z = 0;
  friend bool operator==(const Vector3&, const Vector3&) = default;
};

struct Quaternion {
  float w = 0, x = 0, y = 0, z = 0;
  friend bool operator==(const Quaternion&, const Quaternion&) = default;
};

// "Vector3 { x: 12.5, y: -3.0, z: 0.0 }" with shortest round-trip digits of each component.
std::string debug_text(const Vector3& v);
// One float in that form: "1.0", "0.1", "1e16", "1.5e-5", "-0.0", "NaN", "inf".
std::string debug_float(float f);

}  // namespace quillmere_common::math
