#pragma once
// Key codes of the boolean properties.
#include <cstdint>
#include <optional>

#include "quillmere_common/properties/property_keys/code_set.hpp"

namespace quillmere_common::properties::property_keys::bools {

// A key is identified by its code alone. Only the codes the decoders give a role have a name;
// every other accepted code is a valid value of the enumeration all the same. Keys are made from
// raw codes through from_repr, which admits exactly the accepted set.
enum class PropertyBool : std::uint32_t {};
using Key = PropertyBool;

constexpr bool is_member(std::uint32_t code) {
  return in_ranges(code, {{0, 130}, {9001, 9010}});
}

constexpr std::optional<PropertyBool> from_repr(std::uint32_t code) {
  if (!is_member(code)) return std::nullopt;
  return static_cast<PropertyBool>(code);
}

constexpr std::uint32_t to_repr(PropertyBool key) { return static_cast<std::uint32_t>(key); }

}  // namespace quillmere_common::properties::property_keys::bools

namespace quillmere_common::properties {
using property_keys::bools::PropertyBool;
}  // namespace quillmere_common::properties
