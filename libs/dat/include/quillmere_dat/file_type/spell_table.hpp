#pragma once
// The spell table, file 0x0E00000E: every spell keyed by spell ID, then the spell sets.
// Names and descriptions are stored nibble-swapped (read_obfuscated_string).
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "quillmere_dat/byte_cursor.hpp"

namespace quillmere_dat::file_type::spell_table {

inline constexpr std::uint32_t kSpellTableFileId = 0x0E00000E;

// The per-kind tail of a spell, chosen by meta_spell_type: 1 or 12, 7, anything else.
struct Enchantment {
  std::uint64_t duration = 0;          // 8-byte value, bits as read
  std::uint32_t degrade_modifier = 0;  // 4-byte value
  std::uint32_t degrade_limit = 0;     // 4-byte value
  friend bool operator==(const Enchantment&, const Enchantment&) = default;
};
struct PortalSummon {
  std::uint64_t portal_lifetime = 0;  // 8-byte value
  friend bool operator==(const PortalSummon&, const PortalSummon&) = default;
};
struct None {
  friend bool operator==(const None&, const None&) = default;
};
using SpellExtras = std::variant<Enchantment, PortalSummon, None>;

// One spell; its ID is the key in front of it. Fields in payload order. The "4-byte value" and
// "8-byte value" fields keep their bits and are interpreted by nothing.
struct SpellBase {
  std::string name;
  std::string description;
  std::uint32_t school = 0;
  std::uint32_t icon_id = 0;
  std::uint32_t category = 0;
  std::uint32_t bitfield = 0;
  std::uint32_t base_mana = 0;
  float base_range_constant = 0;
  float base_range_mod = 0;
  std::uint32_t power = 0;
  std::uint32_t spell_economy_mod = 0;
  std::uint32_t formula_version = 0;
  std::uint32_t component_loss = 0;
  std::uint32_t meta_spell_type = 0;
  std::uint32_t meta_spell_id = 0;
  SpellExtras extras = None{};
  std::array<std::uint32_t, 8> raw_components{};
  std::uint32_t caster_effect = 0;
  std::uint32_t target_effect = 0;
  std::uint32_t fizzle_effect = 0;
  std::uint64_t recovery_interval = 0;
  std::uint32_t recovery_amount = 0;
  std::uint32_t display_order = 0;
  std::uint32_t non_component_target_type = 0;
  std::uint32_t mana_mod = 0;
  friend bool operator==(const SpellBase&, const SpellBase&) = default;
};

struct SpellSetTiers {
  std::int32_t spell_count = 0;
  std::vector<std::uint32_t> spells;  // in payload order
  friend bool operator==(const SpellSetTiers&, const SpellSetTiers&) = default;
};

struct SpellSet {
  std::unordered_map<std::uint32_t, SpellSetTiers> tiers;
  friend bool operator==(const SpellSet&, const SpellSet&) = default;
};

struct SpellTable {
  std::uint32_t id = 0;  // as stored; not compared with the ID the file was fetched under
  std::unordered_map<std::uint32_t, SpellBase> spells;
  std::unordered_map<std::uint32_t, SpellSet> spell_sets;
};

// Reads a table at the cursor; on failure the cursor is back where the table began and the
// error carries the context frames, innermost first. Trailing bytes are not read.
ReadResult<SpellTable> read_spell_table(ByteCursor& cursor);
// Decodes a complete payload through a cursor of its own at position 0.
ReadResult<SpellTable> decode_spell_table(std::span<const std::uint8_t> payload);

ReadResult<SpellBase> read_spell_base(ByteCursor& cursor);
ReadResult<SpellSet> read_spell_set(ByteCursor& cursor);
ReadResult<SpellSetTiers> read_spell_set_tiers(ByteCursor& cursor);

}  // namespace quillmere_dat::file_type::spell_table
