#pragma once
// Payload builders for weenies, weenie tables and landblock records, for tests, fuzz seeds and
// the sample data. They write exactly what they are told (counts, duplicates, unknown codes,
// raw string bytes), so broken records are as easy to make as good ones.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quillmere_common/math.hpp"
#include "quillmere_dat/landblock.hpp"

namespace qm_test {

// Little-endian appender.
class ByteWriter {
 public:
  ByteWriter() = default;
  explicit ByteWriter(std::vector<std::uint8_t> start) : bytes_(std::move(start)) {}

  ByteWriter& u8(std::uint8_t v);
  ByteWriter& u16(std::uint16_t v);
  ByteWriter& u32(std::uint32_t v);
  ByteWriter& u64(std::uint64_t v);
  ByteWriter& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
  ByteWriter& i64(std::int64_t v) { return u64(static_cast<std::uint64_t>(v)); }
  ByteWriter& f32(float v);
  ByteWriter& f64(double v);
  ByteWriter& raw(std::span<const std::uint8_t> v);
  ByteWriter& raw(std::string_view v);
  ByteWriter& fill(std::size_t n, std::uint8_t byte = 0);
  // Pads with `byte` until the size is a multiple of `to`.
  ByteWriter& align(std::size_t to, std::uint8_t byte = 0);
  ByteWriter& vector3(const quillmere_common::math::Vector3& v);
  ByteWriter& quaternion(const quillmere_common::math::Quaternion& q);

  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// ---- Weenies ----

// A weenie record as written: properties in this order, raw codes, no filtering.
struct RawWeenie {
  std::uint32_t class_id = 0;
  std::uint32_t weenie_type = 0;
  std::uint32_t unused = 0;  // the 4 bytes after weenie_type
  std::vector<std::pair<std::uint32_t, std::int32_t>> ints;
  std::vector<std::pair<std::uint32_t, std::int64_t>> int64s;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> bools;
  std::vector<std::pair<std::uint32_t, double>> floats;
  std::vector<std::pair<std::uint32_t, std::string>> strings;  // stored bytes, u16 length prefix
  std::vector<std::pair<std::uint32_t, std::uint32_t>> data_ids;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> instance_ids;
  std::uint8_t pad_byte = 0;  // value of the alignment bytes after each string

  RawWeenie& name(std::string text) { strings.emplace_back(1, std::move(text)); return *this; }
  RawWeenie& icon(std::uint32_t id) { data_ids.emplace_back(8, id); return *this; }
};

// Appends one record. String padding aligns on the writer's size, i.e. on the position in the
// payload being built, as a decoder running over the whole payload sees it.
void write_weenie(ByteWriter& out, const RawWeenie& w);
std::vector<std::uint8_t> weenie_payload(const RawWeenie& w);

struct RawWeenieTable {
  std::uint32_t id = 0;
  std::vector<std::pair<std::uint32_t, RawWeenie>> entries;  // key, record; in file order
  std::optional<std::uint16_t> count{};                       // defaults to entries.size()
  std::uint16_t unused = 0;                                  // table bytes 6 and 7
};
std::vector<std::uint8_t> weenie_table_payload(const RawWeenieTable& t);

// ---- Landblocks ----

// 251 bytes: id, has_objects, 81 terrain words, 81 height bytes.
std::vector<std::uint8_t> cell_landblock_payload(const quillmere_dat::landblock::CellLandblock& lb);

void write_frame(ByteWriter& out, const quillmere_dat::landblock::Frame& f);
void write_stab(ByteWriter& out, const quillmere_dat::landblock::Stab& s);
// With the 2 padding bytes after an odd stab list.
void write_portal(ByteWriter& out, const quillmere_dat::landblock::PortalInternal& p);
void write_building(ByteWriter& out, const quillmere_dat::landblock::BuildInfo& b);
// Pairs in the order given (duplicates allowed), with the given bucket size.
void write_restriction_table(ByteWriter& out, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& pairs,
                             std::uint16_t bucket_size = 0);

// The whole static-object record. The restriction table is written when pack_mask bit 0 is set
// (an absent table is then written with no pairs); pairs come out in ascending key order.
std::vector<std::uint8_t> landblock_info_payload(const quillmere_dat::landblock::LandblockInfo& info);

}  // namespace qm_test
