#pragma once
// Landblock records: the terrain record (ID low half FFFF) and the static-object record
// (low half FFFE) with its placed objects, buildings, portals and restriction table.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "quillmere_common/math.hpp"
#include "quillmere_dat/byte_cursor.hpp"
#include "quillmere_dat/error.hpp"

namespace quillmere_dat::landblock {

inline constexpr std::size_t kGridVertices = 81;  // 9 by 9

struct Frame {
  quillmere_common::math::Vector3 origin;
  quillmere_common::math::Quaternion orientation;

  static ReadResult<Frame> read(ByteCursor& cursor);
  friend bool operator==(const Frame&, const Frame&) = default;
};

struct Stab {
  std::uint32_t id = 0;
  Frame frame;

  static ReadResult<Stab> read(ByteCursor& cursor);
  friend bool operator==(const Stab&, const Stab&) = default;
};

struct PortalInternal {
  std::uint16_t flags = 0;
  std::uint16_t other_cell_id = 0;
  std::uint16_t other_portal_id = 0;
  std::vector<std::uint16_t> stab_list;

  // An odd number of stabs is followed by 2 padding bytes, skipped without reading.
  static ReadResult<PortalInternal> read(ByteCursor& cursor);
  friend bool operator==(const PortalInternal&, const PortalInternal&) = default;
};

struct BuildInfo {
  std::uint32_t model_id = 0;
  Frame frame;
  std::uint32_t num_leaves = 0;
  std::vector<PortalInternal> portals;

  static ReadResult<BuildInfo> read(ByteCursor& cursor);
  friend bool operator==(const BuildInfo&, const BuildInfo&) = default;
};

struct RestrictionTable {
  std::unordered_map<std::uint32_t, std::uint32_t> tables;  // a repeated key keeps the last value

  static ReadResult<RestrictionTable> read(ByteCursor& cursor);
  friend bool operator==(const RestrictionTable&, const RestrictionTable&) = default;
};

struct CellLandblock {
  static constexpr std::size_t kSize = 251;
  std::uint32_t id = 0;
  std::uint32_t has_objects = 0;
  std::array<std::uint16_t, kGridVertices> terrain{};
  std::array<std::uint8_t, kGridVertices> height{};

  static ReadResult<CellLandblock> read(ByteCursor& cursor);
  // Reads from the start of the payload; bytes after the record are ignored.
  static DatResult<CellLandblock> unpack(std::span<const std::uint8_t> payload);
  friend bool operator==(const CellLandblock&, const CellLandblock&) = default;
};

struct LandblockInfo {
  static constexpr std::uint16_t kHasRestrictionTable = 0x0001;  // pack_mask bit
  std::uint32_t id = 0;
  std::uint32_t num_cells = 0;
  std::vector<Stab> objects;
  std::uint16_t pack_mask = 0;
  std::vector<BuildInfo> buildings;
  std::optional<RestrictionTable> restriction_tables;

  static ReadResult<LandblockInfo> read(ByteCursor& cursor);
  static DatResult<LandblockInfo> unpack(std::span<const std::uint8_t> payload);
  friend bool operator==(const LandblockInfo&, const LandblockInfo&) = default;
};

}  // namespace quillmere_dat::landblock
