#pragma once
// Key codes of the 32-bit integer properties.
#include <cstdint>
#include <optional>

#include "quillmere_common/properties/property_keys/code_set.hpp"

namespace quillmere_common::properties::property_keys::ints {

// A key is identified by its code alone. Only the codes the decoders give a role have a name;
// every other accepted code is a valid value of the enumeration all the same. Keys are made from
// raw codes through from_repr, which admits exactly the accepted set.
enum class PropertyInt : std::uint32_t {};
using Key = PropertyInt;

constexpr bool is_member(std::uint32_t code) {
  return in_ranges(code, {{1, 390}, {8007, 8007}, {8030, 8030}, {8041, 8041}, {8042, 8042},
                          {8043, 8043}, {9008, 9015}});
}

constexpr std::optional<PropertyInt> from_repr(std::uint32_t code) {
  if (!is_member(code)) return std::nullopt;
  return static_cast<PropertyInt>(code);
}

constexpr std::uint32_t to_repr(PropertyInt key) { return static_cast<std::uint32_t>(key); }

}  // namespace quillmere_common::properties::property_keys::ints

namespace quillmere_common::properties {
using property_keys::ints::PropertyInt;
}  // namespace quillmere_common::properties
