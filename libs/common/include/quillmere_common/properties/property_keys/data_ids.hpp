#pragma once
// Key codes of the data (resource) ID properties.
#include <cstdint>
#include <optional>

#include "quillmere_common/properties/property_keys/code_set.hpp"

namespace quillmere_common::properties::property_keys::data_ids {

// A key is identified by its code alone. Only the codes the decoders give a role have a name;
// every other accepted code is a valid value of the enumeration all the same. Keys are made from
// raw codes through from_repr, which admits exactly the accepted set.
enum class PropertyDataId : std::uint32_t {
  Icon = 8,  // the object's icon
};
using Key = PropertyDataId;

constexpr bool is_member(std::uint32_t code) {
  return in_ranges(code, {{1, 61}, {8001, 8001}, {8002, 8002}, {8003, 8003}, {8005, 8005},
                          {8009, 8009}, {8019, 8030}, {8044, 8044}});
}

constexpr std::optional<PropertyDataId> from_repr(std::uint32_t code) {
  if (!is_member(code)) return std::nullopt;
  return static_cast<PropertyDataId>(code);
}

constexpr std::uint32_t to_repr(PropertyDataId key) { return static_cast<std::uint32_t>(key); }

}  // namespace quillmere_common::properties::property_keys::data_ids

namespace quillmere_common::properties {
using property_keys::data_ids::PropertyDataId;
}  // namespace quillmere_common::properties
