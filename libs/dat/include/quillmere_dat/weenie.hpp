#pragma once
// Object templates (weenies) and the tables that hold them.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

#include "quillmere_common/properties/storage.hpp"
#include "quillmere_dat/byte_cursor.hpp"
#include "quillmere_dat/error.hpp"

namespace quillmere_dat::weenie {

struct Weenie {
  std::uint32_t class_id = 0;
  std::uint32_t weenie_type = 0;
  quillmere_common::properties::WorldObjectProperties properties;

  // One record from the start of `payload`; bytes after it are ignored.
  static DatResult<Weenie> unpack(std::span<const std::uint8_t> payload);
  // One record at the cursor, leaving the cursor just after it. String padding is aligned on
  // the cursor position, i.e. relative to the start of the payload the cursor runs over. On
  // failure the cursor is left where the failing read stopped.
  static DatResult<Weenie> unpack_from_reader(ByteCursor& cursor);

  // String property 1.
  std::optional<std::string_view> name() const;
  // Data-ID property 8.
  std::optional<std::uint32_t> icon_id() const;

  friend bool operator==(const Weenie&, const Weenie&) = default;
};

struct WeenieTable {
  std::unordered_map<std::uint32_t, Weenie> weenies;  // keyed by the value stored before each record
  std::uint32_t id = 0;

  // u32 id, u16 entry count, 2 unused bytes, then (u32 key, weenie) entries. A repeated key keeps
  // the later weenie; any failure fails the whole table.
  static DatResult<WeenieTable> unpack(std::span<const std::uint8_t> payload);
};

}  // namespace quillmere_dat::weenie
