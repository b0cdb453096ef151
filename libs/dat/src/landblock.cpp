#include "quillmere_dat/landblock.hpp"

#include <algorithm>

#include "quillmere_dat/geometry.hpp"

namespace quillmere_dat::landblock {

namespace {

// `count` elements read one after another. Storage grows as they arrive, so a corrupt count
// fails at the end of the data rather than up front.
template <class T, class ReadOne>
ReadResult<std::vector<T>> read_list(std::uint64_t count, ReadOne&& read_one) {
  std::vector<T> out;
  for (std::uint64_t i = 0; i < count; ++i) {
    QM_TRY(T item, read_one());
    out.push_back(std::move(item));
  }
  return out;
}

template <class T>
DatResult<T> unpack_record(std::span<const std::uint8_t> payload) {
  ByteCursor c(payload);
  auto rec = T::read(c);
  if (!rec) return std::unexpected(DatError::bin_read(std::move(rec).error()));
  return std::move(*rec);
}

}  // namespace

ReadResult<Frame> Frame::read(ByteCursor& c) {
  RecordScope r(c, "Frame");
  Frame f;
  QM_TRY(f.origin, r.field("origin", read_vector3(c)));
  QM_TRY(f.orientation, r.field("orientation", read_quaternion(c)));
  return f;
}

ReadResult<Stab> Stab::read(ByteCursor& c) {
  RecordScope r(c, "Stab");
  Stab s;
  QM_TRY(s.id, r.field("id", c.read_u32()));
  QM_TRY(s.frame, r.field("frame", Frame::read(c)));
  return s;
}

ReadResult<PortalInternal> PortalInternal::read(ByteCursor& c) {
  RecordScope r(c, "PortalInternal");
  PortalInternal p;
  QM_TRY(p.flags, r.field("flags", c.read_u16()));
  QM_TRY(p.other_cell_id, r.field("other_cell_id", c.read_u16()));
  QM_TRY(p.other_portal_id, r.field("other_portal_id", c.read_u16()));
  QM_TRY(const std::uint16_t num_stabs, r.field("num_stabs", c.read_u16()));
  QM_TRY(p.stab_list,
         r.field("stab_list", read_list<std::uint16_t>(num_stabs, [&] { return c.read_u16(); })));
  // Pads the list to a multiple of 4 bytes. The move may pass the end of the payload; only a
  // following read fails then. (A skip fails only on a 64-bit overflow, out of reach here.)
  if (num_stabs % 2 != 0) static_cast<void>(c.skip(2));
  return p;
}

ReadResult<BuildInfo> BuildInfo::read(ByteCursor& c) {
  RecordScope r(c, "BuildInfo");
  BuildInfo b;
  QM_TRY(b.model_id, r.field("model_id", c.read_u32()));
  QM_TRY(b.frame, r.field("frame", Frame::read(c)));
  QM_TRY(b.num_leaves, r.field("num_leaves", c.read_u32()));
  QM_TRY(const std::uint32_t num_portals, r.field("num_portals", c.read_u32()));
  QM_TRY(b.portals,
         r.field("portals", read_list<PortalInternal>(num_portals, [&] { return PortalInternal::read(c); })));
  return b;
}

ReadResult<RestrictionTable> RestrictionTable::read(ByteCursor& c) {
  RecordScope r(c, "RestrictionTable");
  RestrictionTable t;
  QM_TRY(const std::uint16_t count, r.field("count", c.read_u16()));
  QM_TRY(const std::uint16_t bucket_size, r.field("_bucket_size", c.read_u16()));
  static_cast<void>(bucket_size);
  auto pairs = [&]() -> ReadResult<std::unordered_map<std::uint32_t, std::uint32_t>> {
    std::unordered_map<std::uint32_t, std::uint32_t> map;
    // Room for the pairs up front, but never more than the remaining bytes could hold.
    map.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, c.remaining() / 8)));
    for (std::uint32_t i = 0; i < count; ++i) {
      QM_TRY(const std::uint32_t key, c.read_u32());
      QM_TRY(const std::uint32_t value, c.read_u32());
      map.insert_or_assign(key, value);
    }
    return map;
  };
  QM_TRY(t.tables, r.field("tables", pairs()));
  return t;
}

ReadResult<CellLandblock> CellLandblock::read(ByteCursor& c) {
  RecordScope r(c, "CellLandblock");
  CellLandblock lb;
  QM_TRY(lb.id, r.field("id", c.read_u32()));
  QM_TRY(lb.has_objects, r.field("has_objects", c.read_u32()));
  auto terrain = [&]() -> ReadResult<std::array<std::uint16_t, kGridVertices>> {
    std::array<std::uint16_t, kGridVertices> words{};
    for (auto& w : words) {
      QM_TRY(w, c.read_u16());
    }
    return words;
  };
  QM_TRY(lb.terrain, r.field("terrain", terrain()));
  // The height bytes are one byte list: a short one reports the list error, not a short read.
  auto height = [&]() -> ReadResult<std::array<std::uint8_t, kGridVertices>> {
    if (c.remaining() < kGridVertices) return std::unexpected(ReadError::not_enough_bytes());
    QM_TRY(auto bytes, c.read_bytes(kGridVertices));
    std::array<std::uint8_t, kGridVertices> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
  };
  QM_TRY(lb.height, r.field("height", height()));
  return lb;
}

DatResult<CellLandblock> CellLandblock::unpack(std::span<const std::uint8_t> payload) {
  return unpack_record<CellLandblock>(payload);
}

ReadResult<LandblockInfo> LandblockInfo::read(ByteCursor& c) {
  RecordScope r(c, "LandblockInfo");
  LandblockInfo info;
  QM_TRY(info.id, r.field("id", c.read_u32()));
  QM_TRY(info.num_cells, r.field("num_cells", c.read_u32()));
  QM_TRY(const std::uint32_t num_objects, r.field("num_objects", c.read_u32()));
  QM_TRY(info.objects, r.field("objects", read_list<Stab>(num_objects, [&] { return Stab::read(c); })));
  QM_TRY(const std::uint16_t num_buildings, r.field("num_buildings", c.read_u16()));
  QM_TRY(info.pack_mask, r.field("pack_mask", c.read_u16()));
  QM_TRY(info.buildings,
         r.field("buildings", read_list<BuildInfo>(num_buildings, [&] { return BuildInfo::read(c); })));
  if ((info.pack_mask & kHasRestrictionTable) != 0) {
    QM_TRY(info.restriction_tables, r.field("restriction_tables", RestrictionTable::read(c)));
  }
  return info;
}

DatResult<LandblockInfo> LandblockInfo::unpack(std::span<const std::uint8_t> payload) {
  return unpack_record<LandblockInfo>(payload);
}

}  // namespace quillmere_dat::landblock
