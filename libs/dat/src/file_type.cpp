#include "quillmere_dat/file_type.hpp"

#include <array>

namespace quillmere_dat {

namespace {

struct TypeRow {
  DatFileType type;
  std::string_view label;
};

constexpr std::array kTypes = {
    TypeRow{DatFileType::Unknown, "Unknown"},
    TypeRow{DatFileType::Model, "Model (OBJ)"},
    TypeRow{DatFileType::SetupModel, "SetupModel (SET)"},
    TypeRow{DatFileType::Animation, "Animation (ANM)"},
    TypeRow{DatFileType::Palette, "Palette (PAL)"},
    TypeRow{DatFileType::SurfaceTexture, "SurfaceTexture (TEX)"},
    TypeRow{DatFileType::Texture, "Texture (DDS/JPG)"},
    TypeRow{DatFileType::Surface, "Surface (SUR)"},
    TypeRow{DatFileType::MotionTable, "MotionTable (DSC)"},
    TypeRow{DatFileType::Audio, "Audio (WAV)"},
    TypeRow{DatFileType::EnvCell, "EnvCell (ENV)"},
    TypeRow{DatFileType::Table, "Table"},
    TypeRow{DatFileType::PaletteSet, "PaletteSet"},
    TypeRow{DatFileType::Clothing, "Clothing (CLO)"},
    TypeRow{DatFileType::DegradeInfo, "DegradeInfo"},
    TypeRow{DatFileType::Scene, "Scene (SCN)"},
    TypeRow{DatFileType::Region, "Region (RGN)"},
    TypeRow{DatFileType::Keymap, "Keymap"},
    TypeRow{DatFileType::RenderTexture, "RenderTexture"},
    TypeRow{DatFileType::RenderMaterial, "RenderMaterial"},
    TypeRow{DatFileType::MaterialModifier, "MaterialModifier"},
    TypeRow{DatFileType::MaterialInstance, "MaterialInstance"},
    TypeRow{DatFileType::RenderMesh, "RenderMesh"},
    TypeRow{DatFileType::SoundTable, "SoundTable (STB)"},
    TypeRow{DatFileType::Layout, "Layout"},
    TypeRow{DatFileType::EnumMapper, "EnumMapper"},
    TypeRow{DatFileType::StringTable, "StringTable"},
    TypeRow{DatFileType::StringTableString, "StringTableString"},
    TypeRow{DatFileType::DataIDMapper, "DataIDMapper"},
    TypeRow{DatFileType::ActionMap, "ActionMap"},
    TypeRow{DatFileType::DualDataIDMapper, "DualDataIDMapper"},
    TypeRow{DatFileType::CombatManeuverTable, "CombatManeuverTable"},
    TypeRow{DatFileType::LanguageString, "LanguageString"},
    TypeRow{DatFileType::ParticleEmitter, "ParticleEmitter"},
    TypeRow{DatFileType::PhysicsScript, "PhysicsScript"},
    TypeRow{DatFileType::PhysicsScriptTable, "PhysicsScriptTable"},
    TypeRow{DatFileType::MutateFilter, "MutateFilter"},
    TypeRow{DatFileType::MasterProperty, "MasterProperty"},
    TypeRow{DatFileType::Font, "Font"},
    TypeRow{DatFileType::StringState, "StringState"},
    TypeRow{DatFileType::BSPNodeType, "BSPNodeType"},
    TypeRow{DatFileType::DatabaseProperties, "DatabaseProperties"},
    TypeRow{DatFileType::IndoorCell, "IndoorCell"},
    TypeRow{DatFileType::Landblock, "Landblock (Terrain)"},
    TypeRow{DatFileType::LandblockInfo, "LandblockInfo (Static)"},
    TypeRow{DatFileType::Iteration, "Iteration (Metadata)"},
    TypeRow{DatFileType::Custom, "Custom"},
    TypeRow{DatFileType::MotionKinematics, "MotionKinematics"},
};

}  // namespace

std::optional<DatFileType> file_type_from_code(std::uint32_t code) {
  for (const auto& row : kTypes)
    if (static_cast<std::uint32_t>(row.type) == code) return row.type;
  return std::nullopt;
}

std::string_view label(DatFileType type) {
  for (const auto& row : kTypes)
    if (row.type == type) return row.label;
  return "Unknown";
}

DatFileType classify_portal_prefix(std::uint8_t prefix) {
  if (prefix == 0x07) return DatFileType::Texture;
  if (prefix == 0 || prefix > 0x78) return DatFileType::Unknown;
  return file_type_from_code(prefix).value_or(DatFileType::Unknown);
}

DatDatasetKind dataset_kind(const DatHeader& h) {
  if (h.magic != kRetailMagic) return DatDatasetKind::NotRetail;
  if (h.block_size == 256) return h.dataset == 2 ? DatDatasetKind::Cell : DatDatasetKind::OtherRetail;
  if (h.block_size == 1024) return h.dataset == 1 ? DatDatasetKind::Portal : DatDatasetKind::OtherRetail;
  return DatDatasetKind::OtherRetail;
}

DatFileType DatFileEntry::file_type_in_dat(DatDatasetKind kind) const {
  if (id == 0xFFFF0001u) return DatFileType::Iteration;
  const auto low = id & 0xFFFFu;
  const auto high = static_cast<std::uint8_t>(id >> 24);
  switch (kind) {
    case DatDatasetKind::Portal:
    case DatDatasetKind::OtherRetail: return classify_portal_prefix(high);
    case DatDatasetKind::Cell:
      if (low == 0xFFFE) return DatFileType::LandblockInfo;
      if (low == 0xFFFF) return DatFileType::Landblock;
      return low == 0 ? DatFileType::Unknown : DatFileType::IndoorCell;
    case DatDatasetKind::NotRetail: {
      if (low == 0xFFFF) return DatFileType::Landblock;
      if (low == 0xFFFE) return DatFileType::LandblockInfo;
      const auto portal = classify_portal_prefix(high);
      if (portal != DatFileType::Unknown) return portal;
      return low == 0 ? DatFileType::Unknown : DatFileType::IndoorCell;
    }
  }
  return DatFileType::Unknown;
}

}  // namespace quillmere_dat
