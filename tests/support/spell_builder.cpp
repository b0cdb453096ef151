#include "spell_builder.hpp"

#include <bit>
#include <stdexcept>

namespace qm_test {

namespace {

namespace st = quillmere_dat::file_type::spell_table;

// Decodes one UTF-8 sequence at `i` (the input is trusted to be valid UTF-8).
char32_t next_code_point(std::string_view s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i]);
  int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += static_cast<std::size_t>(len);
  return cp;
}

std::optional<std::uint8_t> windows1252_byte(char32_t cp) {
  static constexpr char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  for (int k = 0; k < 32; ++k)
    if (high[k] == cp) return static_cast<std::uint8_t>(0x80 + k);
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<std::uint8_t>(cp);
  return std::nullopt;
}

class Writer {
 public:
  std::vector<std::uint8_t> bytes;
  std::vector<FieldSpan>* layout = nullptr;
  std::vector<std::string> outer;  // frames of the enclosing fields, outermost first

  std::size_t pos() const { return bytes.size(); }
  void u8(std::uint8_t v) { bytes.push_back(v); }
  void u16(std::uint16_t v) {
    for (int k = 0; k < 2; ++k) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
  }
  void u32(std::uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
  }
  void u64(std::uint64_t v) {
    for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
  }
  void align4() {
    while (bytes.size() % 4) bytes.push_back(0);
  }

  // Records that the bytes from `begin` to the current end belong to a field with `frame`
  // as its innermost frame, inside the enclosing frames.
  void span(std::size_t begin, std::string frame, bool extras = false) { span_to(begin, pos(), std::move(frame), extras); }
  void span_to(std::size_t begin, std::size_t end, std::string frame, bool extras = false) {
    if (!layout) return;
    FieldSpan s{begin, end, {std::move(frame)}, extras};
    for (auto it = outer.rbegin(); it != outer.rend(); ++it) s.frames.push_back(*it);
    layout->push_back(std::move(s));
  }
};

std::string frame(std::string_view field, std::string_view record) {
  return "While parsing field '" + std::string(field) + "' in " + std::string(record);
}

void write_obfuscated(Writer& w, const std::vector<std::uint8_t>& plain) {
  if (plain.size() > 0xFFFF) throw std::length_error("obfuscated string longer than 65535 bytes");
  w.u16(static_cast<std::uint16_t>(plain.size()));
  auto stored = swap_nibbles(plain);
  w.bytes.insert(w.bytes.end(), stored.begin(), stored.end());
}

void write_spell(Writer& w, const st::SpellBase& s, const std::vector<std::uint8_t>& name,
                 const std::vector<std::uint8_t>& description) {
  const char* rec = "SpellBase";
  std::size_t b = w.pos();
  write_obfuscated(w, name);
  w.span(b, frame("name", rec));
  w.align4();  // _align1 never fails: padding cut short fails the next field
  b = w.pos();
  write_obfuscated(w, description);
  w.span(b, frame("description", rec));
  w.align4();
  auto u32 = [&](const char* field, std::uint32_t v) {
    const std::size_t at = w.pos();
    w.u32(v);
    w.span(at, frame(field, rec));
  };
  u32("school", s.school);
  u32("icon_id", s.icon_id);
  u32("category", s.category);
  u32("bitfield", s.bitfield);
  u32("base_mana", s.base_mana);
  u32("base_range_constant", std::bit_cast<std::uint32_t>(s.base_range_constant));
  u32("base_range_mod", std::bit_cast<std::uint32_t>(s.base_range_mod));
  u32("power", s.power);
  u32("spell_economy_mod", s.spell_economy_mod);
  u32("formula_version", s.formula_version);
  u32("component_loss", s.component_loss);
  u32("meta_spell_type", s.meta_spell_type);
  u32("meta_spell_id", s.meta_spell_id);
  b = w.pos();
  if (const auto* e = std::get_if<st::Enchantment>(&s.extras)) {
    w.u64(e->duration);
    w.u32(e->degrade_modifier);
    w.u32(e->degrade_limit);
  } else if (const auto* p = std::get_if<st::PortalSummon>(&s.extras)) {
    w.u64(p->portal_lifetime);
  }
  if (w.pos() > b) w.span(b, frame("extras", rec), true);
  b = w.pos();
  for (std::uint32_t v : s.raw_components) w.u32(v);
  w.span(b, frame("raw_components", rec));
  u32("caster_effect", s.caster_effect);
  u32("target_effect", s.target_effect);
  u32("fizzle_effect", s.fizzle_effect);
  b = w.pos();
  w.u64(s.recovery_interval);
  w.span(b, frame("recovery_interval", rec));
  u32("recovery_amount", s.recovery_amount);
  u32("display_order", s.display_order);
  u32("non_component_target_type", s.non_component_target_type);
  u32("mana_mod", s.mana_mod);
}

}  // namespace

std::vector<std::uint8_t> encode_stored_text(std::string_view utf8) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = windows1252_byte(next_code_point(utf8, i));
    if (!b) {
      out = {0xEF, 0xBB, 0xBF};
      out.insert(out.end(), utf8.begin(), utf8.end());
      return out;
    }
    out.push_back(*b);
  }
  // A windows-1252 text that happens to begin like a mark would be read as one: store it as
  // UTF-8 instead.
  const bool looks_marked = (out.size() >= 2 && ((out[0] == 0xFF && out[1] == 0xFE) || (out[0] == 0xFE && out[1] == 0xFF))) ||
                            (out.size() >= 3 && out[0] == 0xEF && out[1] == 0xBB && out[2] == 0xBF);
  if (looks_marked) {
    out = {0xEF, 0xBB, 0xBF};
    out.insert(out.end(), utf8.begin(), utf8.end());
  }
  return out;
}

std::vector<std::uint8_t> swap_nibbles(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> out(bytes.begin(), bytes.end());
  for (auto& b : out) b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
  return out;
}

spell_table::SpellBase make_spell(std::uint32_t id, std::string name, std::string description, std::uint32_t school,
                                  std::uint32_t category, std::uint32_t meta_spell_type) {
  st::SpellBase s;
  s.name = std::move(name);
  s.description = std::move(description);
  s.school = school;
  s.icon_id = 0x06000000 + id;
  s.category = category;
  s.bitfield = id * 3 + 1;
  s.base_mana = 10 + id % 90;
  s.base_range_constant = static_cast<float>(id % 7) + 0.5f;
  s.base_range_mod = 0.1f * static_cast<float>(id % 5);
  s.power = id * 10;
  s.spell_economy_mod = 0x3F800000;
  s.formula_version = 1 + id % 3;
  s.component_loss = 0x3DCCCCCD;
  s.meta_spell_type = meta_spell_type;
  s.meta_spell_id = id;
  if (meta_spell_type == 1 || meta_spell_type == 12)
    s.extras = st::Enchantment{0x4082C00000000000ull + id, 0x3F800000, 0x40000000 + id};
  else if (meta_spell_type == 7)
    s.extras = st::PortalSummon{0x40AC200000000000ull + id};
  else
    s.extras = st::None{};
  for (std::uint32_t k = 0; k < 8; ++k) s.raw_components[k] = k < 3 ? id * 8 + k : 0;
  s.caster_effect = id % 11;
  s.target_effect = id % 13;
  s.fizzle_effect = 0;
  s.recovery_interval = 0x3FF0000000000000ull;
  s.recovery_amount = 0x3F000000;
  s.display_order = id;
  s.non_component_target_type = 0x10;
  s.mana_mod = id % 4;
  return s;
}

SpellTableBuilder& SpellTableBuilder::add_spell(std::uint32_t id, const spell_table::SpellBase& spell) {
  return add_spell_raw(id, spell, encode_stored_text(spell.name), encode_stored_text(spell.description));
}

SpellTableBuilder& SpellTableBuilder::add_spell_raw(std::uint32_t id, const spell_table::SpellBase& spell,
                                                    std::vector<std::uint8_t> name_plain,
                                                    std::vector<std::uint8_t> description_plain) {
  spells_.push_back({id, spell, std::move(name_plain), std::move(description_plain)});
  return *this;
}

SpellTableBuilder& SpellTableBuilder::add_set(std::uint32_t set_id, std::vector<TierSpec> tiers) {
  sets_.push_back({set_id, std::move(tiers)});
  return *this;
}

SpellTableBuilder& SpellTableBuilder::trailing(std::vector<std::uint8_t> bytes) {
  trailing_ = std::move(bytes);
  return *this;
}

SpellTableBuilder& SpellTableBuilder::skipped_bytes(std::uint16_t value) {
  skipped_ = value;
  return *this;
}

std::vector<std::uint8_t> SpellTableBuilder::build(std::vector<FieldSpan>* layout) const {
  if (spells_.size() > 0xFFFF || sets_.size() > 0xFFFF) throw std::length_error("more than 65535 table entries");
  Writer w;
  w.layout = layout;
  if (layout) layout->clear();
  const std::string table = "SpellTable";

  std::size_t b = w.pos();
  w.u32(id_);
  w.span(b, frame("id", table));

  // Spells: the count, the skipped bytes and every key fail under 'spells'.
  b = w.pos();
  w.u16(static_cast<std::uint16_t>(spells_.size()));
  w.u16(skipped_);
  w.span(b, frame("spells", table));
  for (const auto& s : spells_) {
    const std::size_t at = w.pos();
    w.u32(s.id);
    w.span(at, frame("spells", table));
    w.outer = {frame("spells", table)};
    write_spell(w, s.spell, s.name, s.description);
    w.outer.clear();
  }

  b = w.pos();
  w.u16(static_cast<std::uint16_t>(sets_.size()));
  w.u16(skipped_);
  w.span(b, frame("spell_sets", table));
  for (const auto& set : sets_) {
    if (set.tiers.size() > 0xFFFF) throw std::length_error("more than 65535 tiers");
    const std::size_t at = w.pos();
    w.u32(set.id);
    w.span(at, frame("spell_sets", table));
    w.outer = {frame("spell_sets", table)};
    b = w.pos();
    w.u16(static_cast<std::uint16_t>(set.tiers.size()));
    w.u16(skipped_);
    w.span(b, frame("tiers", "SpellSet"));
    for (const auto& tier : set.tiers) {
      const std::size_t key_at = w.pos();
      w.u32(tier.key);
      w.span(key_at, frame("tiers", "SpellSet"));
      w.outer = {frame("spell_sets", table), frame("tiers", "SpellSet")};
      const std::size_t count_at = w.pos();
      w.u32(static_cast<std::uint32_t>(tier.count_override.value_or(static_cast<std::int32_t>(tier.spells.size()))));
      w.span(count_at, frame("spell_count", "SpellSetTiers"));
      const std::size_t list_at = w.pos();
      for (std::uint32_t v : tier.spells) w.u32(v);
      if (w.pos() > list_at) w.span(list_at, frame("spells", "SpellSetTiers"));
      w.outer = {frame("spell_sets", table)};
    }
    w.outer.clear();
  }
  w.bytes.insert(w.bytes.end(), trailing_.begin(), trailing_.end());
  return std::move(w.bytes);
}

}  // namespace qm_test
