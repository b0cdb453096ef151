#pragma once
// Key codes of the instance ID properties.
#include <cstdint>
#include <optional>

#include "quillmere_common/properties/property_keys/code_set.hpp"

namespace quillmere_common::properties::property_keys::instance_ids {

// A key is identified by its code alone. Only the codes the decoders give a role have a name;
// every other accepted code is a valid value of the enumeration all the same. Keys are made from
// raw codes through from_repr, which admits exactly the accepted set.
enum class PropertyInstanceId : std::uint32_t {};
using Key = PropertyInstanceId;

constexpr bool is_member(std::uint32_t code) {
  return in_ranges(code, {{1, 45}, {8000, 8000}, {8008, 8008}});
}

constexpr std::optional<PropertyInstanceId> from_repr(std::uint32_t code) {
  if (!is_member(code)) return std::nullopt;
  return static_cast<PropertyInstanceId>(code);
}

constexpr std::uint32_t to_repr(PropertyInstanceId key) { return static_cast<std::uint32_t>(key); }

}  // namespace quillmere_common::properties::property_keys::instance_ids

namespace quillmere_common::properties {
using property_keys::instance_ids::PropertyInstanceId;
}  // namespace quillmere_common::properties
