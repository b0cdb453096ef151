#include "quillmere_dat/file_type/spell_table.hpp"

#include <algorithm>

#include <fmt/format.h>

#include "quillmere_dat/text.hpp"

namespace quillmere_dat::file_type::spell_table {

namespace {

// The keyed-table shape of the spells, the spell sets and the tiers: a u16 count, 2 bytes
// skipped unread, then count entries of a u32 key and one record; a repeated key replaces
// the earlier entry. The caller's field frame names the failure.
template <class V, class ReadValue>
ReadResult<std::unordered_map<std::uint32_t, V>> read_keyed_table(ByteCursor& c, ReadValue read_value) {
  QM_TRY(const std::uint16_t count, c.read_u16());
  QM_TRY_VOID(c.read_bytes(2));
  std::unordered_map<std::uint32_t, V> out;
  out.reserve(std::min<std::uint32_t>(count, 8));
  for (std::uint16_t i = 0; i < count; ++i) {
    QM_TRY(const std::uint32_t key, c.read_u32());
    QM_TRY(V value, read_value(c));
    out.insert_or_assign(key, std::move(value));
  }
  return out;
}

ReadResult<std::array<std::uint32_t, 8>> read_u32x8(ByteCursor& c) {
  std::array<std::uint32_t, 8> out{};
  const std::uint64_t start = c.position();
  for (auto& v : out) {
    auto r = c.read_u32();
    if (!r) {
      c.set_position(start);
      return std::unexpected(std::move(r).error());
    }
    v = *r;
  }
  return out;
}

// A list whose length comes from the data grows as elements are read, from room for 8.
ReadResult<std::vector<std::uint32_t>> read_u32_list(ByteCursor& c, std::uint32_t count) {
  std::vector<std::uint32_t> out;
  out.reserve(std::min<std::uint32_t>(count, 8));
  const std::uint64_t start = c.position();
  for (std::uint32_t i = 0; i < count; ++i) {
    auto r = c.read_u32();
    if (!r) {
      c.set_position(start);
      return std::unexpected(std::move(r).error());
    }
    out.push_back(*r);
  }
  return out;
}

ReadResult<Enchantment> read_enchantment(ByteCursor& c) {
  RecordScope r(c, "SpellExtras::Enchantment");
  Enchantment e;
  QM_TRY(e.duration, r.field("duration", c.read_u64()));
  QM_TRY(e.degrade_modifier, r.field("degrade_modifier", c.read_u32()));
  QM_TRY(e.degrade_limit, r.field("degrade_limit", c.read_u32()));
  return e;
}

ReadResult<PortalSummon> read_portal_summon(ByteCursor& c) {
  RecordScope r(c, "SpellExtras::PortalSummon");
  PortalSummon p;
  QM_TRY(p.portal_lifetime, r.field("portal_lifetime", c.read_u64()));
  return p;
}

// The variants are tried in order from where `extras` begins; each checks its condition on
// meta_spell_type before reading. The first that succeeds is taken.
ReadResult<SpellExtras> read_extras(ByteCursor& c, std::uint32_t meta_spell_type) {
  const std::uint64_t pos = c.position();
  std::vector<ReadError::Variant> failures;

  if (meta_spell_type == 1 || meta_spell_type == 12) {
    auto e = read_enchantment(c);
    if (e) return SpellExtras{*e};
    failures.push_back({"Enchantment", std::move(e).error()});
  } else {
    failures.push_back(
        {"Enchantment", ReadError::assertion("assertion failed: `meta_spell_type == 1 || meta_spell_type == 12`", pos)});
  }
  c.set_position(pos);

  if (meta_spell_type == 7) {
    auto p = read_portal_summon(c);
    if (p) return SpellExtras{*p};
    failures.push_back({"PortalSummon", std::move(p).error()});
  } else {
    failures.push_back({"PortalSummon", ReadError::assertion("assertion failed: `meta_spell_type == 7`", pos)});
  }
  c.set_position(pos);

  if (meta_spell_type != 1 && meta_spell_type != 12 && meta_spell_type != 7) return SpellExtras{None{}};
  failures.push_back(
      {"None", ReadError::assertion(
                   "assertion failed: `meta_spell_type != 1 && meta_spell_type != 12 && meta_spell_type != 7`", pos)});
  c.set_position(pos);
  return std::unexpected(ReadError::no_variant_match(pos, std::move(failures)));
}

}  // namespace

ReadResult<SpellBase> read_spell_base(ByteCursor& c) {
  RecordScope r(c, "SpellBase");
  SpellBase s;
  QM_TRY(s.name, r.field("name", utils::read_obfuscated_string(c)));
  QM_TRY_VOID(r.field("_align1", c.align(4)));
  QM_TRY(s.description, r.field("description", utils::read_obfuscated_string(c)));
  QM_TRY_VOID(r.field("_align2", c.align(4)));
  QM_TRY(s.school, r.field("school", c.read_u32()));
  QM_TRY(s.icon_id, r.field("icon_id", c.read_u32()));
  QM_TRY(s.category, r.field("category", c.read_u32()));
  QM_TRY(s.bitfield, r.field("bitfield", c.read_u32()));
  QM_TRY(s.base_mana, r.field("base_mana", c.read_u32()));
  QM_TRY(s.base_range_constant, r.field("base_range_constant", c.read_f32()));
  QM_TRY(s.base_range_mod, r.field("base_range_mod", c.read_f32()));
  QM_TRY(s.power, r.field("power", c.read_u32()));
  QM_TRY(s.spell_economy_mod, r.field("spell_economy_mod", c.read_u32()));
  QM_TRY(s.formula_version, r.field("formula_version", c.read_u32()));
  QM_TRY(s.component_loss, r.field("component_loss", c.read_u32()));
  QM_TRY(s.meta_spell_type, r.field("meta_spell_type", c.read_u32()));
  QM_TRY(s.meta_spell_id, r.field("meta_spell_id", c.read_u32()));
  QM_TRY(s.extras, r.field("extras", read_extras(c, s.meta_spell_type)));
  QM_TRY(s.raw_components, r.field("raw_components", read_u32x8(c)));
  QM_TRY(s.caster_effect, r.field("caster_effect", c.read_u32()));
  QM_TRY(s.target_effect, r.field("target_effect", c.read_u32()));
  QM_TRY(s.fizzle_effect, r.field("fizzle_effect", c.read_u32()));
  QM_TRY(s.recovery_interval, r.field("recovery_interval", c.read_u64()));
  QM_TRY(s.recovery_amount, r.field("recovery_amount", c.read_u32()));
  QM_TRY(s.display_order, r.field("display_order", c.read_u32()));
  QM_TRY(s.non_component_target_type, r.field("non_component_target_type", c.read_u32()));
  QM_TRY(s.mana_mod, r.field("mana_mod", c.read_u32()));
  return s;
}

ReadResult<SpellSetTiers> read_spell_set_tiers(ByteCursor& c) {
  RecordScope r(c, "SpellSetTiers");
  SpellSetTiers t;
  QM_TRY(t.spell_count, r.field("spell_count", c.read_i32()));
  if (t.spell_count < 0) {
    // The count's conversion fails before the list is read; no field frame of this record.
    const std::uint64_t at = c.position();
    c.set_position(r.start());
    return std::unexpected(
        ReadError::assertion(fmt::format("count {} out of range of usize", t.spell_count), at));
  }
  QM_TRY(t.spells, r.field("spells", read_u32_list(c, static_cast<std::uint32_t>(t.spell_count))));
  return t;
}

ReadResult<SpellSet> read_spell_set(ByteCursor& c) {
  RecordScope r(c, "SpellSet");
  SpellSet s;
  QM_TRY(s.tiers, r.field("tiers", read_keyed_table<SpellSetTiers>(c, read_spell_set_tiers)));
  return s;
}

ReadResult<SpellTable> read_spell_table(ByteCursor& c) {
  RecordScope r(c, "SpellTable");
  SpellTable t;
  QM_TRY(t.id, r.field("id", c.read_u32()));
  QM_TRY(t.spells, r.field("spells", read_keyed_table<SpellBase>(c, read_spell_base)));
  QM_TRY(t.spell_sets, r.field("spell_sets", read_keyed_table<SpellSet>(c, read_spell_set)));
  return t;
}

ReadResult<SpellTable> decode_spell_table(std::span<const std::uint8_t> payload) {
  ByteCursor c(payload);
  return read_spell_table(c);
}

}  // namespace quillmere_dat::file_type::spell_table
