#pragma once
// Key codes of the 64-bit float properties.
#include <cstdint>
#include <optional>

#include "quillmere_common/properties/property_keys/code_set.hpp"

namespace quillmere_common::properties::property_keys::floats {

// A key is identified by its code alone. Only the codes the decoders give a role have a name;
// every other accepted code is a valid value of the enumeration all the same. Keys are made from
// raw codes through from_repr, which admits exactly the accepted set.
enum class PropertyFloat : std::uint32_t {};
using Key = PropertyFloat;

constexpr bool is_member(std::uint32_t code) {
  return in_ranges(code, {{0, 171}, {8004, 8004}, {8010, 8018}});
}

constexpr std::optional<PropertyFloat> from_repr(std::uint32_t code) {
  if (!is_member(code)) return std::nullopt;
  return static_cast<PropertyFloat>(code);
}

constexpr std::uint32_t to_repr(PropertyFloat key) { return static_cast<std::uint32_t>(key); }

}  // namespace quillmere_common::properties::property_keys::floats

namespace quillmere_common::properties {
using property_keys::floats::PropertyFloat;
}  // namespace quillmere_common::properties
