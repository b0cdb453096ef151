#include "quillmere_dat/weenie.hpp"

#include <algorithm>

#include "quillmere_dat/text.hpp"

namespace quillmere_dat::weenie {

namespace props = quillmere_common::properties;

namespace {

// The smallest record: 12 header bytes and seven empty counts.
constexpr std::uint64_t kMinWeenieSize = 12 + 7 * 2;
constexpr std::uint64_t kMinTableEntrySize = 4 + kMinWeenieSize;

// Errors of this module carry no field frames: the reader's own failure is the whole story.
ReadResult<void> read_properties(ByteCursor& c, props::WorldObjectProperties& p) {
  QM_TRY(const std::uint16_t num_ints, c.read_u16());
  for (std::uint32_t i = 0; i < num_ints; ++i) {
    QM_TRY(const std::uint32_t code, c.read_u32());
    QM_TRY(const std::int32_t value, c.read_i32());
    p.apply_raw_int(code, value);
  }
  QM_TRY(const std::uint16_t num_int64s, c.read_u16());
  for (std::uint32_t i = 0; i < num_int64s; ++i) {
    QM_TRY(const std::uint32_t code, c.read_u32());
    QM_TRY(const std::int64_t value, c.read_i64());
    p.apply_raw_int64(code, value);
  }
  QM_TRY(const std::uint16_t num_bools, c.read_u16());
  for (std::uint32_t i = 0; i < num_bools; ++i) {
    QM_TRY(const std::uint32_t code, c.read_u32());
    QM_TRY(const std::uint8_t value, c.read_u8());
    p.apply_raw_bool(code, value != 0);
  }
  QM_TRY(const std::uint16_t num_floats, c.read_u16());
  for (std::uint32_t i = 0; i < num_floats; ++i) {
    QM_TRY(const std::uint32_t code, c.read_u32());
    QM_TRY(const double value, c.read_f64());
    p.apply_raw_float(code, value);
  }
  QM_TRY(const std::uint16_t num_strings, c.read_u16());
  for (std::uint32_t i = 0; i < num_strings; ++i) {
    QM_TRY(const std::uint32_t code, c.read_u32());
    QM_TRY(std::string value, utils::read_pstring(c, 2));
    p.apply_raw_string(code, std::move(value));
    // Padding to a multiple of 4 of the cursor position, not of the record's own offset: a
    // record inside a table aligns to the table payload's start. The skip may pass the end.
    QM_TRY_VOID(c.align(4));
  }
  QM_TRY(const std::uint16_t num_dids, c.read_u16());
  for (std::uint32_t i = 0; i < num_dids; ++i) {
    QM_TRY(const std::uint32_t code, c.read_u32());
    QM_TRY(const std::uint32_t value, c.read_u32());
    p.apply_raw_did(code, value);
  }
  QM_TRY(const std::uint16_t num_iids, c.read_u16());
  for (std::uint32_t i = 0; i < num_iids; ++i) {
    QM_TRY(const std::uint32_t code, c.read_u32());
    QM_TRY(const std::uint32_t value, c.read_u32());
    p.apply_raw_iid(code, value);
  }
  return {};
}

ReadResult<Weenie> read_weenie(ByteCursor& c) {
  Weenie w;
  QM_TRY(w.class_id, c.read_u32());
  QM_TRY(w.weenie_type, c.read_u32());
  QM_TRY_VOID(c.read_bytes(4));
  QM_TRY_VOID(read_properties(c, w.properties));
  return w;
}

ReadResult<WeenieTable> read_table(std::span<const std::uint8_t> payload) {
  if (payload.size() < 8) return std::unexpected(ReadError::unexpected_eof());
  ByteCursor header(payload);
  WeenieTable table;
  QM_TRY(table.id, header.read_u32());
  QM_TRY(const std::uint16_t count, header.read_u16());
  // At most 65,535 entries, and never more than the payload could hold.
  table.weenies.reserve(
      static_cast<std::size_t>(std::min<std::uint64_t>(count, (payload.size() - 8) / kMinTableEntrySize)));
  ByteCursor c(payload, 8);
  for (std::uint32_t i = 0; i < count; ++i) {
    QM_TRY(const std::uint32_t key, c.read_u32());
    QM_TRY(Weenie w, read_weenie(c));
    table.weenies.insert_or_assign(key, std::move(w));
  }
  return table;
}

}  // namespace

DatResult<Weenie> Weenie::unpack(std::span<const std::uint8_t> payload) {
  ByteCursor c(payload);
  return unpack_from_reader(c);
}

DatResult<Weenie> Weenie::unpack_from_reader(ByteCursor& cursor) {
  auto w = read_weenie(cursor);
  if (!w) return std::unexpected(DatError::bin_read(std::move(w).error()));
  return std::move(*w);
}

std::optional<std::string_view> Weenie::name() const {
  auto it = properties.strings.find(props::PropertyString::Name);
  if (it == properties.strings.end()) return std::nullopt;
  return std::string_view(it->second);
}

std::optional<std::uint32_t> Weenie::icon_id() const {
  auto it = properties.data_ids.find(props::PropertyDataId::Icon);
  if (it == properties.data_ids.end()) return std::nullopt;
  return it->second;
}

DatResult<WeenieTable> WeenieTable::unpack(std::span<const std::uint8_t> payload) {
  auto t = read_table(payload);
  if (!t) return std::unexpected(DatError::bin_read(std::move(t).error()));
  return std::move(*t);
}

}  // namespace quillmere_dat::weenie
