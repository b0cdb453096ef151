#include "records_builder.hpp"

#include <algorithm>
#include <bit>
#include <map>

namespace qm_test {

namespace lb = quillmere_dat::landblock;

ByteWriter& ByteWriter::u8(std::uint8_t v) {
  bytes_.push_back(v);
  return *this;
}
ByteWriter& ByteWriter::u16(std::uint16_t v) {
  for (int i = 0; i < 2; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return *this;
}
ByteWriter& ByteWriter::u32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return *this;
}
ByteWriter& ByteWriter::u64(std::uint64_t v) {
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return *this;
}
ByteWriter& ByteWriter::f32(float v) { return u32(std::bit_cast<std::uint32_t>(v)); }
ByteWriter& ByteWriter::f64(double v) { return u64(std::bit_cast<std::uint64_t>(v)); }
ByteWriter& ByteWriter::raw(std::span<const std::uint8_t> v) {
  bytes_.insert(bytes_.end(), v.begin(), v.end());
  return *this;
}
ByteWriter& ByteWriter::raw(std::string_view v) {
  for (char ch : v) bytes_.push_back(static_cast<std::uint8_t>(ch));
  return *this;
}
ByteWriter& ByteWriter::fill(std::size_t n, std::uint8_t byte) {
  bytes_.insert(bytes_.end(), n, byte);
  return *this;
}
ByteWriter& ByteWriter::align(std::size_t to, std::uint8_t byte) {
  while (bytes_.size() % to != 0) bytes_.push_back(byte);
  return *this;
}
ByteWriter& ByteWriter::vector3(const quillmere_common::math::Vector3& v) { return f32(v.x).f32(v.y).f32(v.z); }
ByteWriter& ByteWriter::quaternion(const quillmere_common::math::Quaternion& q) {
  return f32(q.w).f32(q.x).f32(q.y).f32(q.z);
}

void write_weenie(ByteWriter& out, const RawWeenie& w) {
  auto count = [](std::size_t n) { return static_cast<std::uint16_t>(n); };
  out.u32(w.class_id).u32(w.weenie_type).u32(w.unused);
  out.u16(count(w.ints.size()));
  for (const auto& [k, v] : w.ints) out.u32(k).i32(v);
  out.u16(count(w.int64s.size()));
  for (const auto& [k, v] : w.int64s) out.u32(k).i64(v);
  out.u16(count(w.bools.size()));
  for (const auto& [k, v] : w.bools) out.u32(k).u8(v);
  out.u16(count(w.floats.size()));
  for (const auto& [k, v] : w.floats) out.u32(k).f64(v);
  out.u16(count(w.strings.size()));
  for (const auto& [k, v] : w.strings) out.u32(k).u16(count(v.size())).raw(v).align(4, w.pad_byte);
  out.u16(count(w.data_ids.size()));
  for (const auto& [k, v] : w.data_ids) out.u32(k).u32(v);
  out.u16(count(w.instance_ids.size()));
  for (const auto& [k, v] : w.instance_ids) out.u32(k).u32(v);
}

std::vector<std::uint8_t> weenie_payload(const RawWeenie& w) {
  ByteWriter out;
  write_weenie(out, w);
  return out.take();
}

std::vector<std::uint8_t> weenie_table_payload(const RawWeenieTable& t) {
  ByteWriter out;
  out.u32(t.id).u16(t.count.value_or(static_cast<std::uint16_t>(t.entries.size()))).u16(t.unused);
  for (const auto& [key, w] : t.entries) {
    out.u32(key);
    write_weenie(out, w);
  }
  return out.take();
}

std::vector<std::uint8_t> cell_landblock_payload(const lb::CellLandblock& cell) {
  ByteWriter out;
  out.u32(cell.id).u32(cell.has_objects);
  for (auto w : cell.terrain) out.u16(w);
  for (auto h : cell.height) out.u8(h);
  return out.take();
}

void write_frame(ByteWriter& out, const lb::Frame& f) { out.vector3(f.origin).quaternion(f.orientation); }

void write_stab(ByteWriter& out, const lb::Stab& s) {
  out.u32(s.id);
  write_frame(out, s.frame);
}

void write_portal(ByteWriter& out, const lb::PortalInternal& p) {
  out.u16(p.flags).u16(p.other_cell_id).u16(p.other_portal_id).u16(static_cast<std::uint16_t>(p.stab_list.size()));
  for (auto s : p.stab_list) out.u16(s);
  if (p.stab_list.size() % 2 != 0) out.u16(0);
}

void write_building(ByteWriter& out, const lb::BuildInfo& b) {
  out.u32(b.model_id);
  write_frame(out, b.frame);
  out.u32(b.num_leaves).u32(static_cast<std::uint32_t>(b.portals.size()));
  for (const auto& p : b.portals) write_portal(out, p);
}

void write_restriction_table(ByteWriter& out, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& pairs,
                             std::uint16_t bucket_size) {
  out.u16(static_cast<std::uint16_t>(pairs.size())).u16(bucket_size);
  for (const auto& [k, v] : pairs) out.u32(k).u32(v);
}

std::vector<std::uint8_t> landblock_info_payload(const lb::LandblockInfo& info) {
  ByteWriter out;
  out.u32(info.id).u32(info.num_cells).u32(static_cast<std::uint32_t>(info.objects.size()));
  for (const auto& s : info.objects) write_stab(out, s);
  out.u16(static_cast<std::uint16_t>(info.buildings.size())).u16(info.pack_mask);
  for (const auto& b : info.buildings) write_building(out, b);
  if ((info.pack_mask & lb::LandblockInfo::kHasRestrictionTable) != 0) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    if (info.restriction_tables) {
      std::map<std::uint32_t, std::uint32_t> sorted(info.restriction_tables->tables.begin(),
                                                    info.restriction_tables->tables.end());
      pairs.assign(sorted.begin(), sorted.end());
    }
    write_restriction_table(out, pairs);
  }
  return out.take();
}

}  // namespace qm_test
