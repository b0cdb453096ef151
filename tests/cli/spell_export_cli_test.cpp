// The spell-export command run as a program on DAT fixtures.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "dat_builder.hpp"
#include "quillmere_tools/spell_export.hpp"
#include "run_tool.hpp"
#include "spell_builder.hpp"
#include "spell_json_check.hpp"

namespace {

namespace st = quillmere_dat::file_type::spell_table;
namespace se = quillmere_tools::spell_export;
using qm_test::make_spell;
using qm_test::run_tool;
using qm_test::TempDir;
using Bytes = std::vector<std::uint8_t>;

std::string u8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

qm_test::SpellTableBuilder table_builder() {
  qm_test::SpellTableBuilder b;
  b.add_spell(10, make_spell(10, "Flame Bolt", "Shoots a \"bolt\"\nof fire.", 1, 7, 0));
  b.add_spell(2, make_spell(2, u8(u8"Caf\u00E9 \u2019Heal\u2019"), "Heals", 2, 7, 1));
  b.add_spell(300, make_spell(300, "Homeward Step", "Recalls", 2, 9, 7));
  b.add_spell(44, make_spell(44, "Ward", "Protects", 3, 7, 12));
  b.add_spell(45, make_spell(45, "Drain", u8(u8"\u2603\u001f"), 5, 9, 13));
  b.add_spell(46, make_spell(46, "Odd", "School zero", 0, 9));
  b.add_set(1, {{1, {10, 2}}, {2, {}}});
  return b;
}

std::filesystem::path fixture(const TempDir& dir, bool compressed = false, const std::string& name = "portal.dat") {
  qm_test::DatBuilder b(1024, 1);
  b.add(0x01000001, Bytes(10, 0x11));
  b.add(0x0E00000E, table_builder().build(), compressed);
  b.add(0x0E00000F, Bytes(8, 0x22));
  const auto path = dir / name;
  b.write(path);
  return path;
}

st::SpellTable decoded_table() {
  auto t = st::decode_spell_table(table_builder().build());
  EXPECT_TRUE(t);
  return t ? *t : st::SpellTable{};
}

// The document the tool should print for the request, computed with the library.
std::string expected_document(const se::SpellExportRequest& req) {
  return se::write_document(se::export_spell_table(decoded_table(), req)) + "\n";
}

std::string read_text(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void python_check(const std::string& doc, const se::SpellExportRequest& req) {
  qm_test::ExpectedExport sel;
  for (auto f : req.resolved_fields()) sel.field_keys.emplace_back(se::document_key(f));
  for (auto s : req.schools) sel.school_numbers.push_back(se::school_number(s));
  sel.categories = req.categories;
  auto r = qm_test::check_spell_document(doc, qm_test::export_expectations(decoded_table(), sel));
  if (!r.ran) return;  // python3 missing: the unit tests say so
  EXPECT_EQ(r.status, 0) << r.output << "\n--- document ---\n" << doc;
}

TEST(SpellExportCli, NoOptionsPrintsEverySpellWithAllFieldsAndOneLineFeed) {
  TempDir dir;
  fixture(dir);
  auto r = run_tool({"spell-export", "portal.dat"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, expected_document({}));
  ASSERT_GE(r.out.size(), 2u);
  EXPECT_EQ(r.out.substr(r.out.size() - 2), "}\n");
  EXPECT_NE(r.out.find("\"fileId\": 234881038,"), std::string::npos);
  EXPECT_NE(r.out.find(u8(u8"\"name\": \"Caf\u00E9 \u2019Heal\u2019\"")), std::string::npos);
  EXPECT_NE(r.out.find("\"description\": \"\xE2\x98\x83\\u001f\""), std::string::npos);
  python_check(r.out, {});
}

TEST(SpellExportCli, CompressedPayloadDecodesTheSame) {
  TempDir dir;
  fixture(dir, true);
  auto r = run_tool({"spell-export", "portal.dat"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected_document({}));
}

TEST(SpellExportCli, RepeatedSchoolOptionsEqualOneCommaList) {
  TempDir dir;
  fixture(dir);
  auto twice = run_tool({"spell-export", "portal.dat", "--schools", "war", "--schools", "void"}, dir.path());
  auto once = run_tool({"spell-export", "portal.dat", "--schools", "war,void"}, dir.path());
  ASSERT_EQ(twice.status, 0) << twice.err;
  ASSERT_EQ(once.status, 0) << once.err;
  EXPECT_EQ(twice.out, once.out);
  se::SpellExportRequest req;
  req.schools = {se::SpellSchool::War, se::SpellSchool::Void};
  EXPECT_EQ(once.out, expected_document(req));
  EXPECT_NE(once.out.find("\"10\": {"), std::string::npos);
  EXPECT_NE(once.out.find("\"45\": {"), std::string::npos);
  EXPECT_EQ(once.out.find("\"2\": {"), std::string::npos);
  python_check(once.out, req);
}

TEST(SpellExportCli, FieldsWinOverThePreset) {
  TempDir dir;
  fixture(dir);
  auto r = run_tool({"spell-export", "portal.dat", "--fields", "name,school", "--preset", "minimal"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  se::SpellExportRequest req;
  req.fields = {se::SpellField::Name, se::SpellField::School};
  EXPECT_EQ(r.out, expected_document(req));
  EXPECT_NE(r.out.find("  \"fields\": [\n    \"name\",\n    \"school\"\n  ],\n"), std::string::npos) << r.out;
  python_check(r.out, req);

  auto dup = run_tool({"spell-export", "portal.dat", "--fields", "power", "--fields", "name,power"}, dir.path());
  ASSERT_EQ(dup.status, 0) << dup.err;
  req.fields = {se::SpellField::Power, se::SpellField::Name};
  EXPECT_EQ(dup.out, expected_document(req));
}

TEST(SpellExportCli, MinimalPresetAndCategories) {
  TempDir dir;
  fixture(dir);
  auto r = run_tool({"spell-export", "portal.dat", "--preset", "minimal", "--categories", "9", "--schools", "life"},
                    dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  se::SpellExportRequest req;
  req.preset = se::SpellPreset::Minimal;
  req.categories = {9};
  req.schools = {se::SpellSchool::Life};
  EXPECT_EQ(r.out, expected_document(req));
  python_check(r.out, req);

  auto cats = run_tool({"spell-export", "portal.dat", "--categories", "7", "--categories", "4294967295,9"}, dir.path());
  ASSERT_EQ(cats.status, 0) << cats.err;
  se::SpellExportRequest req2;
  req2.categories = {7, 4294967295u, 9};
  EXPECT_EQ(cats.out, expected_document(req2));
}

TEST(SpellExportCli, OutputCreatesMissingFoldersAndReportsCounts) {
  TempDir dir;
  fixture(dir);
  auto r = run_tool({"spell-export", "portal.dat", "-o", "out/deeper/spells.json"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote 6 spells with 12 fields to out/deeper/spells.json\n");
  EXPECT_EQ(r.err, "");
  const std::string doc = read_text(dir / "out/deeper/spells.json");
  EXPECT_EQ(doc, expected_document({}));
  python_check(doc, {});
  // Nothing but the document is left in the folder.
  std::size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir / "out/deeper")) n += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(n, 1u);
}

TEST(SpellExportCli, OutputReplacesAnExistingFile) {
  TempDir dir;
  fixture(dir);
  {
    std::ofstream old(dir / "spells.json");
    old << std::string(100000, 'x');
  }
  auto r = run_tool({"spell-export", "portal.dat", "--output", "spells.json", "--fields", "name"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote 6 spells with 1 fields to spells.json\n");
  se::SpellExportRequest req;
  req.fields = {se::SpellField::Name};
  EXPECT_EQ(read_text(dir / "spells.json"), expected_document(req));
}

TEST(SpellExportCli, FiltersThatMatchNothingWriteAnEmptySpellsObject) {
  TempDir dir;
  fixture(dir);
  auto r = run_tool({"spell-export", "portal.dat", "--categories", "12345", "--preset", "minimal", "-o", "none.json"},
                    dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote 0 spells with 8 fields to none.json\n");
  const std::string doc = read_text(dir / "none.json");
  EXPECT_NE(doc.find("\n  \"spells\": {}\n}\n"), std::string::npos) << doc;
  se::SpellExportRequest req;
  req.preset = se::SpellPreset::Minimal;
  req.categories = {12345};
  EXPECT_EQ(doc, expected_document(req));
  python_check(doc, req);
}

TEST(SpellExportCli, MissingSpellTableFailsAndWritesNothing) {
  TempDir dir;
  qm_test::DatBuilder b(1024, 1);
  b.add(0x01000001, Bytes(10, 0x11));
  b.write(dir / "cell.dat");
  auto r = run_tool({"spell-export", "cell.dat", "-o", "out/spells.json"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: File ID 0E00000E not found in provider\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

TEST(SpellExportCli, UndecodablePayloadReportsTheReaderError) {
  TempDir dir;
  qm_test::DatBuilder b(1024, 1);
  std::vector<qm_test::FieldSpan> layout;
  const Bytes full = table_builder().build(&layout);
  std::size_t cut = 0;
  for (const auto& s : layout)
    if (s.frames.front() == "While parsing field 'school' in SpellBase") {
      cut = s.end - 1;
      break;
    }
  ASSERT_GT(cut, 0u);
  b.add(0x0E00000E, Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)));
  b.write(dir / "portal.dat");
  auto r = run_tool({"spell-export", "portal.dat"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Error: Binary read error: failed to fill whole buffer", 0), 0u) << r.err;
  const auto inner = r.err.find("While parsing field 'school' in SpellBase");
  const auto outer = r.err.find("While parsing field 'spells' in SpellTable");
  EXPECT_NE(inner, std::string::npos) << r.err;
  EXPECT_NE(outer, std::string::npos) << r.err;
  EXPECT_LT(inner, outer);
}

TEST(SpellExportCli, UnopenablePathFails) {
  TempDir dir;
  auto r = run_tool({"spell-export", "nothing.dat"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("Error: ", 0), 0u);
}

TEST(SpellExportCli, FolderThatCannotBeCreated) {
  TempDir dir;
  fixture(dir);
  { std::ofstream(dir / "blocker") << "file"; }
  auto r = run_tool({"spell-export", "portal.dat", "-o", "blocker/sub/spells.json"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: could not create blocker/sub\n\nCaused by:\n    " + std::string(std::strerror(ENOTDIR)) + "\n");
}

TEST(SpellExportCli, FileThatCannotBeWritten) {
  TempDir dir;
  fixture(dir);
  std::filesystem::create_directories(dir / "taken");
  auto r = run_tool({"spell-export", "portal.dat", "-o", "taken"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: could not write taken\n\nCaused by:\n    " + std::string(std::strerror(EISDIR)) + "\n");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
  EXPECT_TRUE(std::filesystem::is_empty(dir / "taken"));
}

TEST(SpellExportCli, NamespaceIsIgnoredForADatDatabase) {
  TempDir dir;
  fixture(dir);
  auto r = run_tool({"spell-export", "portal.dat", "--namespace", "eor/cell", "--fields", "school"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  se::SpellExportRequest req;
  req.fields = {se::SpellField::School};
  EXPECT_EQ(r.out, expected_document(req));
}

}  // namespace
