#pragma once
// One object's typed properties, keyed by known key codes.
//
// Invariants kept by every entry point: each stored key is a member of its enumeration, no
// stored string is empty, no stored data ID or instance ID is 0. Unknown codes are dropped.
#include <cstdint>
#include <map>
#include <string>

#include "quillmere_common/properties/property_keys.hpp"
#include "quillmere_common/properties/update.hpp"

namespace quillmere_common::properties {

namespace storage {

struct WorldObjectProperties {
  std::map<PropertyInt, std::int32_t> ints;
  std::map<PropertyFloat, double> floats;
  std::map<PropertyString, std::string> strings;
  std::map<PropertyDataId, std::uint32_t> data_ids;
  std::map<PropertyInstanceId, std::uint32_t> instance_ids;
  std::map<PropertyBool, bool> bools;
  std::map<PropertyInt64, std::int64_t> int64s;

  // Stores or replaces; an empty string or a zero ID removes the key instead. An unknown
  // variant is resolved again and applied as the known one, or discarded.
  void apply(PropertyUpdate update);

  // Resolve the code; known codes are applied, unknown ones dropped without a trace.
  void apply_raw_int(std::uint32_t code, std::int32_t value);
  void apply_raw_int64(std::uint32_t code, std::int64_t value);
  void apply_raw_bool(std::uint32_t code, bool value);
  void apply_raw_float(std::uint32_t code, double value);
  void apply_raw_string(std::uint32_t code, std::string value);
  void apply_raw_did(std::uint32_t code, std::uint32_t value);
  void apply_raw_iid(std::uint32_t code, std::uint32_t value);

  friend bool operator==(const WorldObjectProperties&, const WorldObjectProperties&) = default;
};

}  // namespace storage

using storage::WorldObjectProperties;

}  // namespace quillmere_common::properties
