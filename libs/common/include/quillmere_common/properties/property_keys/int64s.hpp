#pragma once
// Key codes of the 64-bit integer properties.
#include <cstdint>
#include <optional>

#include "quillmere_common/properties/property_keys/code_set.hpp"

namespace quillmere_common::properties::property_keys::int64s {

// A key is identified by its code alone. Only the codes the decoders give a role have a name;
// every other accepted code is a valid value of the enumeration all the same. Keys are made from
// raw codes through from_repr, which admits exactly the accepted set.
enum class PropertyInt64 : std::uint32_t {};
using Key = PropertyInt64;

constexpr bool is_member(std::uint32_t code) {
  return in_ranges(code, {{1, 8}});
}

constexpr std::optional<PropertyInt64> from_repr(std::uint32_t code) {
  if (!is_member(code)) return std::nullopt;
  return static_cast<PropertyInt64>(code);
}

constexpr std::uint32_t to_repr(PropertyInt64 key) { return static_cast<std::uint32_t>(key); }

}  // namespace quillmere_common::properties::property_keys::int64s

namespace quillmere_common::properties {
using property_keys::int64s::PropertyInt64;
}  // namespace quillmere_common::properties
