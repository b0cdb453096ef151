#pragma once
// One pending change to an object's properties: a known key with its value, or a raw code that
// did not resolve to a known key.
#include <cstdint>
#include <string>
#include <variant>

#include "quillmere_common/properties/property_keys.hpp"

namespace quillmere_common::properties {

namespace property_update {

struct Int { PropertyInt key; std::int32_t value; };
struct Int64 { PropertyInt64 key; std::int64_t value; };
struct Bool { PropertyBool key; bool value; };
struct Float { PropertyFloat key; double value; };
struct String { PropertyString key; std::string value; };
struct DataId { PropertyDataId key; std::uint32_t value; };
struct InstanceId { PropertyInstanceId key; std::uint32_t value; };

struct UnknownInt { std::uint32_t code; std::int32_t value; };
struct UnknownInt64 { std::uint32_t code; std::int64_t value; };
struct UnknownBool { std::uint32_t code; bool value; };
struct UnknownFloat { std::uint32_t code; double value; };
struct UnknownString { std::uint32_t code; std::string value; };
struct UnknownDataId { std::uint32_t code; std::uint32_t value; };
struct UnknownInstanceId { std::uint32_t code; std::uint32_t value; };

}  // namespace property_update

using PropertyUpdate =
    std::variant<property_update::Int, property_update::Int64, property_update::Bool, property_update::Float,
                 property_update::String, property_update::DataId, property_update::InstanceId,
                 property_update::UnknownInt, property_update::UnknownInt64, property_update::UnknownBool,
                 property_update::UnknownFloat, property_update::UnknownString, property_update::UnknownDataId,
                 property_update::UnknownInstanceId>;

}  // namespace quillmere_common::properties
