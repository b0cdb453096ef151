#pragma once
// Turns a decoded spell table into the export document: spells kept by
// school and category, reduced to the requested fields, ordered by spell ID, written as
// pretty-printed JSON.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "quillmere_dat/file_type/spell_table.hpp"

namespace quillmere_tools::spell_export {

// One exportable spell field; the enumerator order is the order of the "base" preset.
enum class SpellField : std::uint8_t {
  Name,
  Description,
  School,
  Category,
  Bitfield,
  BaseMana,
  BaseRangeConstant,
  BaseRangeMod,
  Power,
  RawComponents,
  ManaMod,
  FormulaVersion,
};
inline constexpr std::size_t kSpellFieldCount = 12;

// "base-range-mod": the command-line value.
std::string_view cli_name(SpellField field);
// "base_range_mod": the key in the document and in its list of fields.
std::string_view document_key(SpellField field);
std::optional<SpellField> parse_spell_field(std::string_view cli_value);
// Every field in index order.
std::span<const SpellField> all_spell_fields();

enum class SpellSchool : std::uint8_t { War, Life, Item, Creature, Void };
std::string_view cli_name(SpellSchool school);
std::optional<SpellSchool> parse_spell_school(std::string_view cli_value);
// The `school` number of the spells a school matches: its index plus one.
std::uint32_t school_number(SpellSchool school);

enum class SpellPreset : std::uint8_t { Base, Minimal };
std::string_view cli_name(SpellPreset preset);
std::optional<SpellPreset> parse_spell_preset(std::string_view cli_value);
std::span<const SpellField> preset_fields(SpellPreset preset);

struct SpellExportRequest {
  std::vector<SpellField> fields;    // in the order asked, duplicates allowed; may be empty
  std::vector<SpellSchool> schools;  // empty: every school
  std::vector<std::uint32_t> categories;  // empty: every category
  SpellPreset preset = SpellPreset::Base;  // used when `fields` is empty

  // `fields` (or the preset's list when it is empty) without repeats, first occurrence kept.
  std::vector<SpellField> resolved_fields() const;
};

// A value of a spell object: text, unsigned integer, double, null, or an array of values.
struct JsonValue {
  using Array = std::vector<JsonValue>;
  std::variant<std::string, std::uint64_t, double, std::nullptr_t, Array> value;

  friend bool operator==(const JsonValue&, const JsonValue&) = default;
};

// Key and value pairs in resolved-field order.
using SpellObject = std::vector<std::pair<std::string, JsonValue>>;

struct SpellExportFile {
  std::uint32_t file_id = 0;
  std::vector<SpellField> fields;                // resolved, no duplicates
  std::map<std::uint32_t, SpellObject> spells;   // ascending spell ID
};

SpellExportFile export_spell_table(const quillmere_dat::file_type::spell_table::SpellTable& table,
                                   const SpellExportRequest& request);

// The JSON document, without a final line break.
std::string write_document(const SpellExportFile& file);

// The document's pieces, for tests and other writers.
// A JSON string with the document's escapes (input is UTF-8 and written through unchanged
// except for the escaped characters).
void append_json_string(std::string& out, std::string_view text);
// A double as the document writes it: shortest round-trip digits, positional for decimal
// exponents -5 to 15, otherwise "d.ddde+E"; a non-finite value as null.
std::string format_json_double(double value);

}  // namespace quillmere_tools::spell_export
