#pragma once
// Writes spell-table payloads (file 0x0E00000E) for tests, the sample data and fuzz
// seeds: spells with names and descriptions (nibble-swapped as stored), every extras kind,
// spell sets with tiers, and deliberately broken values (negative tier counts, extras that
// disagree with meta_spell_type, trailing bytes). It can also report, for every field, how
// much of the payload must be present for that field to decode and which context frames
// a failure there carries, innermost first.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quillmere_dat/file_type/spell_table.hpp"

namespace qm_test {

namespace spell_table = quillmere_dat::file_type::spell_table;

// Text as the game stores it before scrambling: windows-1252 when every character has a
// windows-1252 byte, otherwise EF BB BF and the UTF-8 bytes.
std::vector<std::uint8_t> encode_stored_text(std::string_view utf8);
// The nibble swap of read_obfuscated_string; it is its own inverse.
std::vector<std::uint8_t> swap_nibbles(std::span<const std::uint8_t> bytes);

// A spell with plain test values: the given texts and numbers, every other field derived from
// the ID so that spells differ. meta_spell_type selects the extras that are filled in.
spell_table::SpellBase make_spell(std::uint32_t id, std::string name, std::string description,
                                  std::uint32_t school = 1, std::uint32_t category = 0,
                                  std::uint32_t meta_spell_type = 0);

struct TierSpec {
  TierSpec(std::uint32_t key_, std::vector<std::uint32_t> spells_, std::optional<std::int32_t> count = std::nullopt)
      : key(key_), spells(std::move(spells_)), count_override(count) {}
  std::uint32_t key = 0;
  std::vector<std::uint32_t> spells;
  std::optional<std::int32_t> count_override;  // the stored spell_count when it should lie
};

// What a cut of the payload at a given length breaks: the first field (in read order) whose
// `end` lies beyond the cut fails with `frames`, innermost first. The layout holds for payloads
// whose extras agree with meta_spell_type and whose tier counts are not overridden.
struct FieldSpan {
  std::size_t begin = 0;  // where the field's bytes start
  std::size_t end = 0;    // the payload length the field needs to decode
  std::vector<std::string> frames;
  bool extras = false;  // an `extras` field: the failure is a no-variant-matched error
};

class SpellTableBuilder {
 public:
  explicit SpellTableBuilder(std::uint32_t table_id = spell_table::kSpellTableFileId) : id_(table_id) {}

  // A spell entry; name and description are stored through encode_stored_text, extras as the
  // record's variant says (whatever meta_spell_type holds).
  SpellTableBuilder& add_spell(std::uint32_t id, const spell_table::SpellBase& spell);
  // A spell entry whose name and description are the given plain bytes (before scrambling).
  SpellTableBuilder& add_spell_raw(std::uint32_t id, const spell_table::SpellBase& spell,
                                   std::vector<std::uint8_t> name_plain, std::vector<std::uint8_t> description_plain);
  SpellTableBuilder& add_set(std::uint32_t set_id, std::vector<TierSpec> tiers);
  // Bytes after the last set entry (the decoder ignores them).
  SpellTableBuilder& trailing(std::vector<std::uint8_t> bytes);
  // The 2 bytes after each keyed-table count (never read by the decoder).
  SpellTableBuilder& skipped_bytes(std::uint16_t value);

  std::vector<std::uint8_t> build(std::vector<FieldSpan>* layout = nullptr) const;

 private:
  struct Spell {
    std::uint32_t id;
    spell_table::SpellBase spell;
    std::vector<std::uint8_t> name, description;
  };
  struct Set {
    std::uint32_t id;
    std::vector<TierSpec> tiers;
  };
  std::uint32_t id_;
  std::uint16_t skipped_ = 0;
  std::vector<Spell> spells_;
  std::vector<Set> sets_;
  std::vector<std::uint8_t> trailing_;
};

}  // namespace qm_test
