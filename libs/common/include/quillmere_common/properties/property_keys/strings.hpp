#pragma once
// Key codes of the string properties.
#include <cstdint>
#include <optional>

#include "quillmere_common/properties/property_keys/code_set.hpp"

namespace quillmere_common::properties::property_keys::strings {

// A key is identified by its code alone. Only the codes the decoders give a role have a name;
// every other accepted code is a valid value of the enumeration all the same. Keys are made from
// raw codes through from_repr, which admits exactly the accepted set.
enum class PropertyString : std::uint32_t {
  Name = 1,  // the object's name
};
using Key = PropertyString;

constexpr bool is_member(std::uint32_t code) {
  return in_ranges(code, {{1, 52}, {8006, 8006}, {8031, 8031}, {8032, 8032}, {9001, 9007}});
}

constexpr std::optional<PropertyString> from_repr(std::uint32_t code) {
  if (!is_member(code)) return std::nullopt;
  return static_cast<PropertyString>(code);
}

constexpr std::uint32_t to_repr(PropertyString key) { return static_cast<std::uint32_t>(key); }

}  // namespace quillmere_common::properties::property_keys::strings

namespace quillmere_common::properties {
using property_keys::strings::PropertyString;
}  // namespace quillmere_common::properties
