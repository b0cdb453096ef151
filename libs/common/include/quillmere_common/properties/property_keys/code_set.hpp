#pragma once
// The building block of the key enumerations: a closed set of accepted 32-bit codes written as
// inclusive ranges.
#include <cstdint>
#include <initializer_list>

namespace quillmere_common::properties::property_keys {

struct CodeRange {
  std::uint32_t first;
  std::uint32_t last;  // inclusive
};

constexpr bool in_ranges(std::uint32_t code, std::initializer_list<CodeRange> ranges) {
  for (const CodeRange& r : ranges)
    if (code >= r.first && code <= r.last) return true;
  return false;
}

}  // namespace quillmere_common::properties::property_keys
