#include "quillmere_tools/spell_export.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace quillmere_tools::spell_export {

namespace st = quillmere_dat::file_type::spell_table;

namespace {

struct FieldNames {
  SpellField field;
  std::string_view cli, key;
};
constexpr std::array<FieldNames, kSpellFieldCount> kFields = {{
    {SpellField::Name, "name", "name"},
    {SpellField::Description, "description", "description"},
    {SpellField::School, "school", "school"},
    {SpellField::Category, "category", "category"},
    {SpellField::Bitfield, "bitfield", "bitfield"},
    {SpellField::BaseMana, "base-mana", "base_mana"},
    {SpellField::BaseRangeConstant, "base-range-constant", "base_range_constant"},
    {SpellField::BaseRangeMod, "base-range-mod", "base_range_mod"},
    {SpellField::Power, "power", "power"},
    {SpellField::RawComponents, "raw-components", "raw_components"},
    {SpellField::ManaMod, "mana-mod", "mana_mod"},
    {SpellField::FormulaVersion, "formula-version", "formula_version"},
}};

constexpr std::array<SpellField, kSpellFieldCount> kBaseFields = {
    SpellField::Name,     SpellField::Description,       SpellField::School,       SpellField::Category,
    SpellField::Bitfield, SpellField::BaseMana,          SpellField::BaseRangeConstant,
    SpellField::BaseRangeMod, SpellField::Power,         SpellField::RawComponents, SpellField::ManaMod,
    SpellField::FormulaVersion,
};
constexpr std::array<SpellField, 8> kMinimalFields = {
    SpellField::Name,     SpellField::Description,       SpellField::School,       SpellField::Category,
    SpellField::Bitfield, SpellField::BaseRangeConstant, SpellField::BaseRangeMod, SpellField::Power,
};

constexpr std::array<std::string_view, 5> kSchools = {"war", "life", "item", "creature", "void"};
constexpr std::array<std::string_view, 2> kPresets = {"base", "minimal"};

JsonValue float_value(float f) {
  if (!std::isfinite(f)) return JsonValue{nullptr};
  return JsonValue{static_cast<double>(f)};
}

JsonValue field_value(const st::SpellBase& s, SpellField field) {
  switch (field) {
    case SpellField::Name: return JsonValue{s.name};
    case SpellField::Description: return JsonValue{s.description};
    case SpellField::School: return JsonValue{std::uint64_t{s.school}};
    case SpellField::Category: return JsonValue{std::uint64_t{s.category}};
    case SpellField::Bitfield: return JsonValue{std::uint64_t{s.bitfield}};
    case SpellField::BaseMana: return JsonValue{std::uint64_t{s.base_mana}};
    case SpellField::BaseRangeConstant: return float_value(s.base_range_constant);
    case SpellField::BaseRangeMod: return float_value(s.base_range_mod);
    case SpellField::Power: return JsonValue{std::uint64_t{s.power}};
    case SpellField::RawComponents: {
      JsonValue::Array items;
      items.reserve(s.raw_components.size());
      for (std::uint32_t v : s.raw_components) items.emplace_back().value.emplace<std::uint64_t>(v);
      return JsonValue{std::move(items)};
    }
    case SpellField::ManaMod: return JsonValue{std::uint64_t{s.mana_mod}};
    case SpellField::FormulaVersion: return JsonValue{std::uint64_t{s.formula_version}};
  }
  return JsonValue{nullptr};
}

// ---- the document writer ----

void indent(std::string& out, int level) { out.append(static_cast<std::size_t>(level) * 2, ' '); }

void append_u64(std::string& out, std::uint64_t v) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

void append_value(std::string& out, const JsonValue& v, int level);

void append_array(std::string& out, const JsonValue::Array& items, int level) {
  if (items.empty()) {
    out += "[]";
    return;
  }
  out += "[\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    indent(out, level + 1);
    append_value(out, items[i], level + 1);
    out += i + 1 < items.size() ? ",\n" : "\n";
  }
  indent(out, level);
  out += ']';
}

void append_value(std::string& out, const JsonValue& v, int level) {
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::string>)
          append_json_string(out, x);
        else if constexpr (std::is_same_v<T, std::uint64_t>)
          append_u64(out, x);
        else if constexpr (std::is_same_v<T, double>)
          out += format_json_double(x);
        else if constexpr (std::is_same_v<T, std::nullptr_t>)
          out += "null";
        else
          append_array(out, x, level);
      },
      v.value);
}

// `"name": ` at the member's indentation.
void member_name(std::string& out, std::string_view name, int level) {
  indent(out, level);
  append_json_string(out, name);
  out += ": ";
}

}  // namespace

std::string_view cli_name(SpellField field) { return kFields[static_cast<std::size_t>(field)].cli; }
std::string_view document_key(SpellField field) { return kFields[static_cast<std::size_t>(field)].key; }
std::optional<SpellField> parse_spell_field(std::string_view cli_value) {
  for (const auto& f : kFields)
    if (f.cli == cli_value) return f.field;
  return std::nullopt;
}
std::span<const SpellField> all_spell_fields() { return kBaseFields; }

std::string_view cli_name(SpellSchool school) { return kSchools[static_cast<std::size_t>(school)]; }
std::optional<SpellSchool> parse_spell_school(std::string_view cli_value) {
  for (std::size_t i = 0; i < kSchools.size(); ++i)
    if (kSchools[i] == cli_value) return static_cast<SpellSchool>(i);
  return std::nullopt;
}
std::uint32_t school_number(SpellSchool school) { return static_cast<std::uint32_t>(school) + 1; }

std::string_view cli_name(SpellPreset preset) { return kPresets[static_cast<std::size_t>(preset)]; }
std::optional<SpellPreset> parse_spell_preset(std::string_view cli_value) {
  for (std::size_t i = 0; i < kPresets.size(); ++i)
    if (kPresets[i] == cli_value) return static_cast<SpellPreset>(i);
  return std::nullopt;
}
std::span<const SpellField> preset_fields(SpellPreset preset) {
  if (preset == SpellPreset::Minimal) return kMinimalFields;
  return kBaseFields;
}

std::vector<SpellField> SpellExportRequest::resolved_fields() const {
  const std::span<const SpellField> source = fields.empty() ? preset_fields(preset) : std::span(fields);
  std::vector<SpellField> out;
  for (SpellField f : source)
    if (std::find(out.begin(), out.end(), f) == out.end()) out.push_back(f);
  return out;
}

SpellExportFile export_spell_table(const st::SpellTable& table, const SpellExportRequest& request) {
  SpellExportFile file;
  file.file_id = table.id;
  file.fields = request.resolved_fields();
  for (const auto& [id, spell] : table.spells) {
    if (!request.schools.empty() &&
        std::none_of(request.schools.begin(), request.schools.end(),
                     [&](SpellSchool s) { return school_number(s) == spell.school; }))
      continue;
    if (!request.categories.empty() &&
        std::find(request.categories.begin(), request.categories.end(), spell.category) == request.categories.end())
      continue;
    SpellObject object;
    object.reserve(file.fields.size());
    for (SpellField f : file.fields) {
      auto& member = object.emplace_back();
      member.first = document_key(f);
      member.second = field_value(spell, f);
    }
    file.spells.insert_or_assign(id, std::move(object));
  }
  return file;
}

void append_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case 0x08: out += "\\b"; break;
      case 0x09: out += "\\t"; break;
      case 0x0A: out += "\\n"; break;
      case 0x0C: out += "\\f"; break;
      case 0x0D: out += "\\r"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

std::string format_json_double(double value) {
  if (!std::isfinite(value)) return "null";
  std::string out = std::signbit(value) ? "-" : "";
  const double a = std::fabs(value);
  if (a == 0.0) return out + "0.0";
  // Scientific form without precision: the shortest digits that read back to `a`, nearest the
  // exact value among equally short ones, e.g. "1.0000000272564224e+16".
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific);
  const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  const auto e_at = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e_at))
    if (c != '.') digits.push_back(c);
  int exp = 0;
  std::from_chars(text.data() + e_at + 1 + (text[e_at + 1] == '+'), text.data() + text.size(), exp);
  const int n = static_cast<int>(digits.size());

  if (exp >= -5 && exp <= 15) {
    if (exp < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exp - 1), '0');
      out += digits;
    } else if (n > exp + 1) {
      out.append(digits, 0, static_cast<std::size_t>(exp + 1));
      out += '.';
      out.append(digits, static_cast<std::size_t>(exp + 1));
    } else {
      out += digits;
      out.append(static_cast<std::size_t>(exp + 1 - n), '0');
      out += ".0";
    }
    return out;
  }
  out += digits[0];
  if (n > 1) {
    out += '.';
    out.append(digits, 1);
  }
  out += exp < 0 ? "e-" : "e+";
  append_u64(out, static_cast<std::uint64_t>(exp < 0 ? -exp : exp));
  return out;
}

std::string write_document(const SpellExportFile& file) {
  std::string out = "{\n";
  member_name(out, "fileId", 1);
  append_u64(out, file.file_id);
  out += ",\n";

  member_name(out, "fields", 1);
  if (file.fields.empty()) {
    out += "[]";
  } else {
    out += "[\n";
    for (std::size_t i = 0; i < file.fields.size(); ++i) {
      indent(out, 2);
      append_json_string(out, document_key(file.fields[i]));
      out += i + 1 < file.fields.size() ? ",\n" : "\n";
    }
    indent(out, 1);
    out += ']';
  }
  out += ",\n";

  member_name(out, "spells", 1);
  if (file.spells.empty()) {
    out += "{}";
  } else {
    out += "{\n";
    std::size_t left = file.spells.size();
    for (const auto& [id, object] : file.spells) {
      indent(out, 2);
      out += '"';
      append_u64(out, id);
      out += "\": ";
      if (object.empty()) {
        out += "{}";
      } else {
        out += "{\n";
        for (std::size_t i = 0; i < object.size(); ++i) {
          member_name(out, object[i].first, 3);
          append_value(out, object[i].second, 3);
          out += i + 1 < object.size() ? ",\n" : "\n";
        }
        indent(out, 2);
        out += '}';
      }
      out += --left ? ",\n" : "\n";
    }
    indent(out, 1);
    out += '}';
  }
  out += "\n}";
  return out;
}

}  // namespace quillmere_tools::spell_export
