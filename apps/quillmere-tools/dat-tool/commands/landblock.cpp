#include <fmt/format.h>

#include "commands.hpp"
#include "provider.hpp"
#include "quillmere_common/math.hpp"
#include "quillmere_dat/landblock.hpp"

namespace dat_tool {

using quillmere_dat::landblock::CellLandblock;
using quillmere_dat::landblock::LandblockInfo;

namespace {

// XXYY0000 names the landblock as a whole: its terrain record is XXYYFFFF. Any other low half
// is taken as given.
std::uint32_t terrain_id(std::uint32_t id) { return (id & 0xFFFFu) == 0 ? id | 0xFFFFu : id; }
std::uint32_t static_objects_id(std::uint32_t terrain) { return (terrain & 0xFFFF0000u) | 0xFFFEu; }

}  // namespace

Result<void> run_landblock(const LandblockArgs& args, std::FILE* out) {
  auto provider = Provider::open(args.path);
  if (!provider) return std::unexpected(std::move(provider).error());
  auto id = parse_id_auto(args.id);
  if (!id) return std::unexpected(std::move(id).error());
  const Namespace ns = args.ns ? Namespace(*args.ns) : std::nullopt;

  const std::uint32_t terrain = terrain_id(*id);
  auto cell_payload = provider->get_file_in_namespace(ns, terrain);
  if (!cell_payload) return std::unexpected(Error::from(cell_payload.error()));
  auto cell = CellLandblock::unpack(*cell_payload);
  if (!cell) return std::unexpected(Error::from(cell.error()));

  fmt::print(out, "Landblock ID:   {:08X}\n", cell->id);
  fmt::print(out, "Has Objects:     {}\n", cell->has_objects != 0);
  fmt::print(out, "Terrain Vertices: {}\n", cell->terrain.size());
  fmt::print(out, "Height Vertices:  {}\n", cell->height.size());
  fmt::print(out, "\nHeightmap (9x9):\n");
  // Entry 9 * c + r sits in column c, row r; rows are printed from 8 down to 0.
  for (std::size_t r = 0; r < 9; ++r) {
    std::string line;
    for (std::size_t c = 0; c < 9; ++c) line += fmt::format("{:3} ", cell->height[9 * c + (8 - r)]);
    fmt::print(out, "{}\n", line);
  }

  const std::uint32_t info_id = static_objects_id(terrain);
  auto info_payload = provider->get_file_in_namespace(ns, info_id);
  if (!info_payload) return {};  // a landblock without static objects
  auto info = LandblockInfo::unpack(*info_payload);
  if (!info) return std::unexpected(Error::from(info.error()));

  fmt::print(out, "\nLandblock Info ({:08X}):\n", info_id);
  fmt::print(out, "Objects:   {}\n", info->objects.size());
  fmt::print(out, "Buildings: {}\n", info->buildings.size());
  for (const auto& b : info->buildings)
    fmt::print(out, "  Building model: {:08X} at {}\n", b.model_id,
               quillmere_common::math::debug_text(b.frame.origin));
  return {};
}

}  // namespace dat_tool
