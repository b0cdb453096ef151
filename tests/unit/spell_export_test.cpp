// The spell export and its JSON document.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "quillmere_tools/spell_export.hpp"
#include "run_tool.hpp"
#include "spell_builder.hpp"
#include "spell_json_check.hpp"

namespace {

namespace st = quillmere_dat::file_type::spell_table;
using namespace quillmere_tools::spell_export;
using qm_test::make_spell;

std::string u8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

std::vector<std::string> keys_of(const std::vector<SpellField>& fields) {
  std::vector<std::string> out;
  for (auto f : fields) out.emplace_back(document_key(f));
  return out;
}

st::SpellTable sample_table() {
  st::SpellTable t;
  t.id = 0x0E00000E;
  t.spells[10] = make_spell(10, "Flame Bolt", "Shoots a \"bolt\"\nof fire.", 1, 7);
  t.spells[2] = make_spell(2, u8(u8"Caf\u00E9"), "Heals", 2, 7);
  t.spells[300] = make_spell(300, "Blink", "Moves you", 2, 9);
  t.spells[44] = make_spell(44, "Ward", "Protects", 3, 7);
  t.spells[45] = make_spell(45, "Drain", "Drains", 5, 9);
  t.spells[46] = make_spell(46, "Odd", "School zero", 0, 9);
  t.spells[47] = make_spell(47, "Odder", "School six", 6, 1);
  return t;
}

// Checks a document with Python's json module against expectations computed from the table.
void python_check(const std::string& doc, const st::SpellTable& table, const SpellExportRequest& req) {
  qm_test::ExpectedExport sel;
  sel.field_keys = keys_of(req.resolved_fields());
  for (auto s : req.schools) sel.school_numbers.push_back(static_cast<std::uint32_t>(s) + 1);
  sel.categories = req.categories;
  auto r = qm_test::check_spell_document(doc + "\n", qm_test::export_expectations(table, sel));
  if (!r.ran) {
    std::printf("note: python3 is not installed; the JSON check with Python's json module is skipped\n");
    return;
  }
  EXPECT_EQ(r.status, 0) << r.output << "\n--- document ---\n" << doc;
  EXPECT_EQ(r.output, "ok\n");
}

// ---- names ----

TEST(SpellExportNames, FieldsSchoolsPresets) {
  const char* cli[] = {"name", "description", "school", "category", "bitfield", "base-mana", "base-range-constant",
                       "base-range-mod", "power", "raw-components", "mana-mod", "formula-version"};
  const char* keys[] = {"name", "description", "school", "category", "bitfield", "base_mana", "base_range_constant",
                        "base_range_mod", "power", "raw_components", "mana_mod", "formula_version"};
  ASSERT_EQ(all_spell_fields().size(), 12u);
  for (std::size_t i = 0; i < 12; ++i) {
    const auto f = all_spell_fields()[i];
    EXPECT_EQ(static_cast<std::size_t>(f), i);
    EXPECT_EQ(cli_name(f), cli[i]);
    EXPECT_EQ(document_key(f), keys[i]);
    EXPECT_EQ(parse_spell_field(cli[i]), f);
  }
  EXPECT_FALSE(parse_spell_field("base_mana"));
  EXPECT_FALSE(parse_spell_field("colour"));
  EXPECT_FALSE(parse_spell_field(""));

  const char* schools[] = {"war", "life", "item", "creature", "void"};
  for (std::uint32_t i = 0; i < 5; ++i) {
    auto s = parse_spell_school(schools[i]);
    ASSERT_TRUE(s);
    EXPECT_EQ(cli_name(*s), schools[i]);
    EXPECT_EQ(school_number(*s), i + 1);
  }
  EXPECT_FALSE(parse_spell_school("fire"));
  EXPECT_FALSE(parse_spell_school("War"));

  EXPECT_EQ(parse_spell_preset("base"), SpellPreset::Base);
  EXPECT_EQ(parse_spell_preset("minimal"), SpellPreset::Minimal);
  EXPECT_FALSE(parse_spell_preset("max"));
  EXPECT_EQ(cli_name(SpellPreset::Minimal), "minimal");
  EXPECT_EQ(preset_fields(SpellPreset::Base).size(), 12u);
  EXPECT_EQ(keys_of({preset_fields(SpellPreset::Minimal).begin(), preset_fields(SpellPreset::Minimal).end()}),
            (std::vector<std::string>{"name", "description", "school", "category", "bitfield", "base_range_constant",
                                      "base_range_mod", "power"}));
}

// ---- resolved fields ----

TEST(SpellExportRequest, ResolvedFields) {
  SpellExportRequest r;
  EXPECT_EQ(r.preset, SpellPreset::Base);
  EXPECT_EQ(r.resolved_fields(), std::vector<SpellField>(all_spell_fields().begin(), all_spell_fields().end()));
  r.preset = SpellPreset::Minimal;
  EXPECT_EQ(r.resolved_fields().size(), 8u);
  r.fields = {SpellField::Name, SpellField::School, SpellField::Name};
  EXPECT_EQ(r.resolved_fields(), (std::vector<SpellField>{SpellField::Name, SpellField::School}));
  r.preset = SpellPreset::Base;
  EXPECT_EQ(r.resolved_fields(), (std::vector<SpellField>{SpellField::Name, SpellField::School}));
  r.fields = {SpellField::Power, SpellField::ManaMod, SpellField::Power, SpellField::Name, SpellField::ManaMod};
  EXPECT_EQ(r.resolved_fields(), (std::vector<SpellField>{SpellField::Power, SpellField::ManaMod, SpellField::Name}));
}

// ---- export ----

std::vector<std::uint32_t> ids_of(const SpellExportFile& f) {
  std::vector<std::uint32_t> out;
  for (const auto& [id, _] : f.spells) out.push_back(id);
  return out;
}

TEST(SpellExport, NoFiltersKeepsEverySpellWithAllTwelveFieldsInOrder) {
  const auto table = sample_table();
  SpellExportRequest req;
  const auto f = export_spell_table(table, req);
  EXPECT_EQ(f.file_id, 0x0E00000Eu);
  EXPECT_EQ(ids_of(f), (std::vector<std::uint32_t>{2, 10, 44, 45, 46, 47, 300}));
  for (const auto& [id, obj] : f.spells) {
    ASSERT_EQ(obj.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(obj[i].first, document_key(all_spell_fields()[i]));
  }
  const auto& s10 = f.spells.at(10);
  const auto& src = table.spells.at(10);
  EXPECT_EQ(s10[0].second, JsonValue{src.name});
  EXPECT_EQ(s10[2].second, JsonValue{std::uint64_t{1}});
  EXPECT_EQ(s10[6].second, JsonValue{static_cast<double>(src.base_range_constant)});
  JsonValue::Array comps;
  for (auto v : src.raw_components) comps.emplace_back().value.emplace<std::uint64_t>(v);
  EXPECT_EQ(s10[9].second, JsonValue{comps});
  EXPECT_EQ(s10[11].second, JsonValue{std::uint64_t{src.formula_version}});
  python_check(write_document(f), table, req);
}

TEST(SpellExport, MinimalPresetAndExplicitFields) {
  const auto table = sample_table();
  SpellExportRequest req;
  req.preset = SpellPreset::Minimal;
  auto f = export_spell_table(table, req);
  EXPECT_EQ(f.fields.size(), 8u);
  for (const auto& [id, obj] : f.spells) EXPECT_EQ(obj.size(), 8u);
  python_check(write_document(f), table, req);

  req.fields = {SpellField::Name, SpellField::School, SpellField::Name};
  f = export_spell_table(table, req);
  EXPECT_EQ(keys_of(f.fields), (std::vector<std::string>{"name", "school"}));
  for (const auto& [id, obj] : f.spells) {
    ASSERT_EQ(obj.size(), 2u);
    EXPECT_EQ(obj[0].first, "name");
    EXPECT_EQ(obj[1].first, "school");
  }
  python_check(write_document(f), table, req);
}

TEST(SpellExport, SchoolAndCategoryFilters) {
  const auto table = sample_table();
  SpellExportRequest req;
  req.schools = {SpellSchool::War, SpellSchool::Void};
  EXPECT_EQ(ids_of(export_spell_table(table, req)), (std::vector<std::uint32_t>{10, 45}));
  python_check(write_document(export_spell_table(table, req)), table, req);

  req.schools = {SpellSchool::Life};
  req.categories = {7, 9};
  EXPECT_EQ(ids_of(export_spell_table(table, req)), (std::vector<std::uint32_t>{2, 300}));
  python_check(write_document(export_spell_table(table, req)), table, req);

  req.schools = {};
  req.categories = {9};
  EXPECT_EQ(ids_of(export_spell_table(table, req)), (std::vector<std::uint32_t>{45, 46, 300}));

  req.categories = {12345};
  const auto none = export_spell_table(table, req);
  EXPECT_TRUE(none.spells.empty());
  EXPECT_EQ(none.file_id, 0x0E00000Eu);
  EXPECT_EQ(none.fields.size(), 12u);
  python_check(write_document(none), table, req);

  st::SpellTable empty;
  empty.id = 77;
  const auto e = export_spell_table(empty, SpellExportRequest{});
  EXPECT_TRUE(e.spells.empty());
  EXPECT_EQ(e.file_id, 77u);
  python_check(write_document(e), empty, SpellExportRequest{});
}

TEST(SpellExport, FloatsWidenExactlyAndNonFiniteBecomesNull) {
  st::SpellTable t;
  t.spells[1] = make_spell(1, "a", "b");
  t.spells[1].base_range_mod = 0.1f;
  t.spells[1].base_range_constant = std::numeric_limits<float>::quiet_NaN();
  t.spells[2] = make_spell(2, "c", "d");
  t.spells[2].base_range_constant = std::numeric_limits<float>::infinity();
  t.spells[2].base_range_mod = -std::numeric_limits<float>::infinity();
  SpellExportRequest req;
  req.fields = {SpellField::BaseRangeConstant, SpellField::BaseRangeMod};
  const auto f = export_spell_table(t, req);
  EXPECT_EQ(f.spells.at(1)[1].second, JsonValue{0.10000000149011612});
  EXPECT_EQ(f.spells.at(1)[0].second, JsonValue{nullptr});
  EXPECT_EQ(f.spells.at(2)[0].second, JsonValue{nullptr});
  EXPECT_EQ(f.spells.at(2)[1].second, JsonValue{nullptr});
  const std::string doc = write_document(f);
  EXPECT_NE(doc.find("\"base_range_mod\": 0.10000000149011612"), std::string::npos) << doc;
  EXPECT_NE(doc.find("\"base_range_constant\": null"), std::string::npos) << doc;
  python_check(doc, t, req);
}

// ---- the document ----

TEST(SpellDocument, LayoutExample) {
  st::SpellTable t;
  t.id = 234881038;
  t.spells[10] = make_spell(10, "x", "y", 1);
  t.spells[10].base_range_mod = 5.0f;
  t.spells[2] = make_spell(2, "x", "y", 4);
  t.spells[2].base_range_mod = 0.1f;
  SpellExportRequest req;
  req.fields = {SpellField::School, SpellField::BaseRangeMod};
  const std::string doc = write_document(export_spell_table(t, req));
  EXPECT_EQ(doc,
            "{\n"
            "  \"fileId\": 234881038,\n"
            "  \"fields\": [\n"
            "    \"school\",\n"
            "    \"base_range_mod\"\n"
            "  ],\n"
            "  \"spells\": {\n"
            "    \"2\": {\n"
            "      \"school\": 4,\n"
            "      \"base_range_mod\": 0.10000000149011612\n"
            "    },\n"
            "    \"10\": {\n"
            "      \"school\": 1,\n"
            "      \"base_range_mod\": 5.0\n"
            "    }\n"
            "  }\n"
            "}");
  python_check(doc, t, req);
}

TEST(SpellDocument, ArraysEmptySpellsAndOrder) {
  st::SpellTable t;
  t.id = 0;
  t.spells[300] = make_spell(300, "a", "b");
  t.spells[10] = make_spell(10, "a", "b");
  t.spells[2] = make_spell(2, "a", "b");
  t.spells[2].raw_components = {1, 2, 3, 0, 0, 0, 0, 4294967295u};
  SpellExportRequest req;
  req.fields = {SpellField::RawComponents};
  const std::string doc = write_document(export_spell_table(t, req));
  const std::string prefix =
      "{\n  \"fileId\": 0,\n  \"fields\": [\n    \"raw_components\"\n  ],\n  \"spells\": {\n"
      "    \"2\": {\n      \"raw_components\": [\n        1,\n        2,\n";
  EXPECT_EQ(doc.rfind(prefix, 0), 0u) << doc;
  EXPECT_NE(doc.find("        4294967295\n      ]\n    },\n    \"10\": {"), std::string::npos) << doc;
  EXPECT_LT(doc.find("\"10\""), doc.find("\"300\""));
  python_check(doc, t, req);

  req.categories = {999};
  EXPECT_EQ(write_document(export_spell_table(t, req)),
            "{\n  \"fileId\": 0,\n  \"fields\": [\n    \"raw_components\"\n  ],\n  \"spells\": {}\n}");
  // The writer's own empty forms, for a file built by hand.
  SpellExportFile bare;
  EXPECT_EQ(write_document(bare), "{\n  \"fileId\": 0,\n  \"fields\": [],\n  \"spells\": {}\n}");
  bare.spells[4] = {};
  bare.spells[5] = {{"k", JsonValue{JsonValue::Array{}}}};
  EXPECT_EQ(write_document(bare),
            "{\n  \"fileId\": 0,\n  \"fields\": [],\n  \"spells\": {\n    \"4\": {},\n    \"5\": {\n"
            "      \"k\": []\n    }\n  }\n}");
}

TEST(SpellDocument, StringEscapes) {
  std::string s;
  append_json_string(s, std::string("a\"b\\c\b\t\n\f\r\x01\x1f\x1b/\x7f", 15) + std::string(1, '\0'));
  EXPECT_EQ(s, "\"a\\\"b\\\\c\\b\\t\\n\\f\\r\\u0001\\u001f\\u001b/\x7f\\u0000\"");
  s.clear();
  append_json_string(s, u8(u8"\u00E9\u2019\U0001F600"));
  EXPECT_EQ(s, "\"" + u8(u8"\u00E9\u2019\U0001F600") + "\"");

  st::SpellTable t;
  t.spells[1] = make_spell(1, u8(u8"Caf\u00E9\u001f"), "line\nand \"quote\"\ttab\\");
  SpellExportRequest req;
  req.fields = {SpellField::Name, SpellField::Description};
  const std::string doc = write_document(export_spell_table(t, req));
  EXPECT_NE(doc.find("\"name\": \"Caf\xC3\xA9\\u001f\""), std::string::npos) << doc;
  EXPECT_NE(doc.find("\"description\": \"line\\nand \\\"quote\\\"\\ttab\\\\\""), std::string::npos) << doc;
  python_check(doc, t, req);
}

TEST(SpellDocument, DoubleExamples) {
  auto w = [](float f) { return format_json_double(static_cast<double>(f)); };
  EXPECT_EQ(w(5.0f), "5.0");
  EXPECT_EQ(w(1.5f), "1.5");
  EXPECT_EQ(w(0.1f), "0.10000000149011612");
  EXPECT_EQ(w(0.3f), "0.30000001192092896");
  EXPECT_EQ(w(100.0f), "100.0");
  EXPECT_EQ(w(1e16f), "1.0000000272564224e+16");
  EXPECT_EQ(w(1e20f), "1.0000000200408773e+20");
  EXPECT_EQ(w(1e-7f), "1.0000000116860974e-7");
  EXPECT_EQ(w(0.00001f), "9.999999747378752e-6");
  EXPECT_EQ(w(0.0f), "0.0");
  EXPECT_EQ(w(-0.0f), "-0.0");
  EXPECT_EQ(w(-2.5f), "-2.5");
  EXPECT_EQ(format_json_double(1e15), "1000000000000000.0");
  EXPECT_EQ(format_json_double(1.5e15), "1500000000000000.0");
  EXPECT_EQ(format_json_double(1e16), "1e+16");
  EXPECT_EQ(format_json_double(0.00001), "0.00001");
  EXPECT_EQ(format_json_double(0.000012345), "0.000012345");
  EXPECT_EQ(format_json_double(0.000001), "1e-6");
  EXPECT_EQ(format_json_double(123.456), "123.456");
  EXPECT_EQ(format_json_double(5e-324), "5e-324");
  EXPECT_EQ(format_json_double(1.7976931348623157e308), "1.7976931348623157e+308");
  EXPECT_EQ(format_json_double(std::numeric_limits<double>::quiet_NaN()), "null");
  EXPECT_EQ(format_json_double(-std::numeric_limits<double>::infinity()), "null");
}

// The digit strings of doubles agree with Python's repr (the shortest round trip, nearest
// the exact value), for widened floats and for arbitrary doubles.
TEST(SpellDocument, DoubleDigitsAgreeWithPythonRepr) {
  if (!qm_test::have_python3()) GTEST_SKIP() << "python3 is not installed: the comparison with repr cannot run";
  std::mt19937_64 rng(20240611);
  std::vector<double> values;
  for (int i = 0; i < 20000; ++i) {
    const float f = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    if (std::isfinite(f)) values.push_back(static_cast<double>(f));
  }
  for (int i = 0; i < 20000; ++i) {
    const double d = std::bit_cast<double>(rng());
    if (std::isfinite(d)) values.push_back(d);
  }
  for (int e = -30; e <= 30; ++e) {
    values.push_back(std::pow(10.0, e));
    values.push_back(static_cast<double>(std::pow(10.0f, static_cast<float>(e))));
    values.push_back(1.5 * std::pow(10.0, e));
  }
  qm_test::TempDir dir;
  {
    std::ofstream in(dir / "in.txt");
    for (double d : values) {
      char buf[20];
      std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(d)));
      in << buf << '\n';
    }
  }
  auto r = qm_test::run_py_script("double_repr.py", {(dir / "in.txt").string(), (dir / "out.txt").string()});
  ASSERT_EQ(r.status, 0) << r.output;
  std::ifstream out(dir / "out.txt");
  std::string repr;
  std::size_t i = 0, bad = 0;
  // Digits and exponent of the first digit, from either notation.
  auto digits_of = [](std::string s) {
    if (!s.empty() && s[0] == '-') s.erase(0, 1);
    int exp = 0;
    if (auto e = s.find('e'); e != std::string::npos) {
      exp = std::stoi(s.substr(e + 1));
      s.resize(e);
    }
    const auto dot = s.find('.');
    std::string int_part = s.substr(0, dot), frac = dot == std::string::npos ? "" : s.substr(dot + 1);
    std::string all = int_part + frac;
    const auto first = all.find_first_not_of('0');
    if (first == std::string::npos) return std::string("0");
    int e10 = exp + static_cast<int>(int_part.size()) - 1 - static_cast<int>(first);
    all = all.substr(first);
    all.erase(all.find_last_not_of('0') + 1);
    return all + "E" + std::to_string(e10);
  };
  while (std::getline(out, repr)) {
    ASSERT_LT(i, values.size());
    const std::string mine = format_json_double(values[i]);
    if (digits_of(mine) != digits_of(repr) && ++bad <= 10) ADD_FAILURE() << "ours " << mine << ", repr " << repr;
    // Form: exponent outside -5..15, positional inside.
    const std::string d = digits_of(mine);
    const int e10 = std::stoi(d.substr(d.find('E') + 1));
    if (values[i] != 0) {
      EXPECT_EQ(mine.find('e') != std::string::npos, e10 < -5 || e10 > 15) << mine;
    }
    ++i;
  }
  EXPECT_EQ(i, values.size());
  EXPECT_EQ(bad, 0u);
}

// A table from random spells, written and checked by Python with every field.
TEST(SpellDocument, RandomTablesParseWithPython) {
  std::mt19937 gen(7);
  auto rng = [&gen] { return static_cast<std::uint32_t>(gen()); };
  for (int round = 0; round < 5; ++round) {
    st::SpellTable t;
    t.id = rng();
    for (int i = 0; i < 60; ++i) {
      const std::uint32_t id = rng() % 100000;
      auto s = make_spell(id, "", "", rng() % 7, rng() % 4);
      std::string name;
      for (int k = 0; k < 12; ++k) {
        static const char* pieces[] = {"a", "Z", " ", "\"", "\\", "\n", "\t", "\x01", "\x1f", "/", "\x7f",
                                       "\xC3\xA9", "\xE2\x80\x99", "\xF0\x9F\x98\x80", "\r", "\b", "\f"};
        name += pieces[rng() % (sizeof pieces / sizeof *pieces)];
      }
      s.name = name;
      s.description = name + name;
      s.base_range_constant = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
      s.base_range_mod = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
      for (auto& c : s.raw_components) c = rng();
      s.bitfield = rng();
      t.spells[id] = s;
    }
    SpellExportRequest req;
    if (round == 1) req.preset = SpellPreset::Minimal;
    if (round == 2) req.schools = {SpellSchool::Item, SpellSchool::War};
    if (round == 3) req.categories = {0, 3};
    if (round == 4) req.fields = {SpellField::BaseRangeMod, SpellField::Name, SpellField::BaseRangeConstant};
    python_check(write_document(export_spell_table(t, req)), t, req);
  }
}

}  // namespace
