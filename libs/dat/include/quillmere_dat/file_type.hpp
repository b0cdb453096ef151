#pragma once
// Record kinds of DAT files, with their codes (also the archive's type IDs) and labels.
#include <cstdint>
#include <optional>
#include <string_view>

#include "quillmere_dat/database.hpp"

namespace quillmere_dat {

enum class DatFileType : std::uint32_t {
  Unknown = 0x00,
  Model = 0x01,
  SetupModel = 0x02,
  Animation = 0x03,
  Palette = 0x04,
  SurfaceTexture = 0x05,
  Texture = 0x06,
  Surface = 0x08,
  MotionTable = 0x09,
  Audio = 0x0A,
  EnvCell = 0x0D,
  Table = 0x0E,
  PaletteSet = 0x0F,
  Clothing = 0x10,
  DegradeInfo = 0x11,
  Scene = 0x12,
  Region = 0x13,
  Keymap = 0x14,
  RenderTexture = 0x15,
  RenderMaterial = 0x16,
  MaterialModifier = 0x17,
  MaterialInstance = 0x18,
  RenderMesh = 0x19,
  SoundTable = 0x20,
  Layout = 0x21,
  EnumMapper = 0x22,
  StringTable = 0x23,
  StringTableString = 0x24,
  DataIDMapper = 0x25,
  ActionMap = 0x26,
  DualDataIDMapper = 0x27,
  CombatManeuverTable = 0x30,
  LanguageString = 0x31,
  ParticleEmitter = 0x32,
  PhysicsScript = 0x33,
  PhysicsScriptTable = 0x34,
  MutateFilter = 0x38,
  MasterProperty = 0x39,
  Font = 0x40,
  StringState = 0x41,
  BSPNodeType = 0x42,
  DatabaseProperties = 0x78,
  IndoorCell = 0xFD,
  Landblock = 0xFE,
  LandblockInfo = 0xFF,
  Iteration = 0xFE01,
  Custom = 0xFFFFFF00,
  MotionKinematics = 0xFFFFFF01,
};

enum class DatDatasetKind : std::uint8_t { Portal = 0, Cell = 1, OtherRetail = 2, NotRetail = 3 };

// The type whose code is `code`, when there is one.
std::optional<DatFileType> file_type_from_code(std::uint32_t code);
// The display label, such as "Texture (DDS/JPG)".
std::string_view label(DatFileType type);
// The portal-style classification of a file ID's high byte (0x07 is a texture too).
DatFileType classify_portal_prefix(std::uint8_t prefix);
DatDatasetKind dataset_kind(const DatHeader& header);

}  // namespace quillmere_dat
