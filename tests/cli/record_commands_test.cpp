// weenie, weenie-find and landblock run on DAT files and archives built by the test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dat_builder.hpp"
#include "qma_builder.hpp"
#include "records_builder.hpp"
#include "run_tool.hpp"

namespace {

namespace lb = quillmere_dat::landblock;
using qm_test::DatBuilder;
using qm_test::QmaArchiveBuilder;
using qm_test::run_tool;
using qm_test::TempDir;
using qm_test::RawWeenie;
using Bytes = std::vector<std::uint8_t>;

std::string lines(const std::vector<std::string>& ls) {
  std::string out;
  for (const auto& l : ls) out += l + "\n";
  return out;
}

void expect_run(const qm_test::ToolRun& r, int status, const std::string& out, const std::string& err = "") {
  EXPECT_EQ(r.status, status) << r.err;
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(r.err, err);
}

// ---- weenie ----

RawWeenie lantern() {
  RawWeenie w;
  w.class_id = 0x0000ABCD;
  w.weenie_type = 9;
  w.ints = {{1, 5}, {19, 40}, {391, 1}};  // 391 is no known key
  w.int64s = {{1, 7}};
  w.bools = {{1, 1}, {2, 0}};
  w.floats = {{39, 1.5}};
  w.name("Lantern");
  w.strings.emplace_back(16, "A small lantern");
  w.icon(0x060012AB);
  w.data_ids.emplace_back(1, 0x02000001);
  w.data_ids.emplace_back(3, 0x20000014);
  w.instance_ids = {{2, 0x50000001}};
  return w;
}

const std::string kLanternReport = lines({
    "File ID:         0E0000AB",
    "Weenie Class ID: 0000ABCD",
    "Weenie Type:     9",
    "Name:            Lantern",
    "Icon ID:         060012AB",
    "Properties (Int):    2",
    "Properties (Float):  1",
    "Properties (String): 2",
    "Properties (DID):    3",
});

TEST(WeenieCommand, PrintsTheSummary) {
  TempDir dir;
  DatBuilder b;
  b.add(0x0E0000AB, qm_test::weenie_payload(lantern()));
  b.add(0x0E0000AC, qm_test::weenie_payload(lantern()), true);  // compressed payloads decode the same
  b.write(dir / "portal.dat");
  for (const char* id : {"0x0E0000AB", "0E0000AB", "234881195", " 0X0e0000ab "})
    expect_run(run_tool({"weenie", "portal.dat", id}, dir.path()), 0, kLanternReport);
  auto compressed = run_tool({"weenie", "portal.dat", "0E0000AC", "--namespace", "ignored/by-dat"}, dir.path());
  EXPECT_EQ(compressed.status, 0);
  EXPECT_EQ(compressed.out.substr(compressed.out.find('\n')), kLanternReport.substr(kLanternReport.find('\n')));
}

TEST(WeenieCommand, OptionalLinesAndIndependentIds) {
  TempDir dir;
  RawWeenie plain;
  plain.class_id = 0x12345678;
  plain.weenie_type = 0xFFFFFFFF;
  RawWeenie zero_icon = plain;
  zero_icon.icon(0x06000001).icon(0);  // the zero removes the icon again
  zero_icon.name("Named");
  DatBuilder b;
  b.add(0x01000001, qm_test::weenie_payload(plain));  // any payload may be decoded as a weenie
  b.add(0x0E000002, qm_test::weenie_payload(zero_icon));
  b.write(dir / "portal.dat");
  expect_run(run_tool({"weenie", "portal.dat", "0x01000001"}, dir.path()), 0,
             lines({"File ID:         01000001", "Weenie Class ID: 12345678", "Weenie Type:     4294967295",
                    "Properties (Int):    0", "Properties (Float):  0", "Properties (String): 0",
                    "Properties (DID):    0"}));
  expect_run(run_tool({"weenie", "portal.dat", "0x0E000002"}, dir.path()), 0,
             lines({"File ID:         0E000002", "Weenie Class ID: 12345678", "Weenie Type:     4294967295",
                    "Name:            Named", "Properties (Int):    0", "Properties (Float):  0",
                    "Properties (String): 1", "Properties (DID):    0"}));
}

TEST(WeenieCommand, MissingOrUndecodableRecordsAreOneLineAndSuccess) {
  TempDir dir;
  Bytes cut = qm_test::weenie_payload(lantern());
  cut.resize(cut.size() - 1);
  DatBuilder b;
  b.add(0x0E000001, cut);
  b.add(0x0E000002, Bytes{1, 2, 3});
  b.write(dir / "portal.dat");
  expect_run(run_tool({"weenie", "portal.dat", "0x0E000001"}, dir.path()), 0,
             "Could not decode a Weenie record from ID 0E000001.\n");
  expect_run(run_tool({"weenie", "portal.dat", "0E000002"}, dir.path()), 0,
             "Could not decode a Weenie record from ID 0E000002.\n");
  expect_run(run_tool({"weenie", "portal.dat", "255"}, dir.path()), 0,
             "Could not decode a Weenie record from ID 000000FF.\n");
}

TEST(WeenieCommands, OpeningAndIdErrorsFailTheCommand) {
  TempDir dir;
  DatBuilder().write(dir / "portal.dat");
  for (const char* cmd : {"weenie", "weenie-find"}) {
    expect_run(run_tool({cmd, "portal.dat", "xyz"}, dir.path()), 1, "", "Error: invalid digit found in string\n");
    expect_run(run_tool({cmd, "portal.dat", "4294967296"}, dir.path()), 1, "",
               "Error: number too large to fit in target type\n");
    // The provider is opened before the ID is looked at.
    expect_run(run_tool({cmd, "missing", "xyz"}, dir.path()), 1, "",
               "Error: Could not open provider for \"missing\". Expected .qma or .dat\n");
  }
}

// ---- weenie-find ----

Bytes table(std::uint32_t id, std::vector<std::pair<std::uint32_t, RawWeenie>> entries) {
  return qm_test::weenie_table_payload({.id = id, .entries = std::move(entries)});
}

RawWeenie entry(std::uint32_t class_id, std::uint32_t type, const char* name = nullptr) {
  RawWeenie w;
  w.class_id = class_id;
  w.weenie_type = type;
  if (name) w.name(name);
  return w;
}

TEST(WeenieFindCommand, ReportsEveryTableHoldingTheKeyInAscendingIdOrder) {
  TempDir dir;
  DatBuilder b;
  b.tree_shape(2, 3).scatter(4);  // directory order differs from ID order
  // Keys, not class IDs, are matched: the hit in 0E000020 prints a class ID of its own.
  b.add(0x0E000020, table(0x20, {{4096, entry(0x00001000, 10, "Golem")}, {5, entry(5, 1)}}));
  b.add(0x0E000003, table(0x03, {{7, entry(7, 1)}, {4096, entry(0x0000BEEF, 3)}}), true);
  b.add(0x0E000010, table(0x10, {{1, entry(4096, 1)}}));  // class ID matches, key does not
  Bytes damaged = table(0x11, {{4096, entry(4096, 1, "Lost")}});
  damaged.pop_back();
  b.add(0x0E000011, damaged);
  b.add(0x0D000001, table(0x0D, {{4096, entry(4096, 1)}}));  // not in the 0E range
  b.add(0x0F000001, table(0x0F, {{4096, entry(4096, 1)}}));
  b.write(dir / "portal.dat");
  const std::string want = lines({
      "Scanning 4 table files (0x0E prefix) for WCID 4096...",
      "Hit in table 0E000003",
      "  Entry WCID: 0000BEEF",
      "  WeenieType: 3",
      "Hit in table 0E000020",
      "  Entry WCID: 00001000",
      "  WeenieType: 10",
      "  Name: Golem",
  });
  expect_run(run_tool({"weenie-find", "portal.dat", "4096"}, dir.path()), 0, want);
  expect_run(run_tool({"weenie-find", "portal.dat", "0x1000"}, dir.path()), 0, want);
}

TEST(WeenieFindCommand, NoHit) {
  TempDir dir;
  DatBuilder b;
  Bytes damaged = table(0x11, {{77, entry(77, 1)}});
  damaged.resize(10);
  b.add(0x0E000011, damaged);  // the only table with the key does not decode
  b.add(0x0E000012, table(0x12, {{1, entry(77, 1)}}));
  b.add(0x0E000013, Bytes{});
  b.write(dir / "portal.dat");
  expect_run(run_tool({"weenie-find", "portal.dat", "77"}, dir.path()), 0,
             lines({"Scanning 3 table files (0x0E prefix) for WCID 77...",
                    "No WCID 77 entries found in scan-able table files (0x0E range)."}));

  TempDir empty;
  DatBuilder e;
  e.add(0x06000001, table(1, {{77, entry(77, 1)}}));
  e.write(empty / "portal.dat");
  expect_run(run_tool({"weenie-find", "portal.dat", "0x4D"}, empty.path()), 0,
             lines({"Scanning 0 table files (0x0E prefix) for WCID 77...",
                    "No WCID 77 entries found in scan-able table files (0x0E range)."}));
}

TEST(WeenieFindCommand, ArchiveHitsNameTheirNamespace) {
  TempDir dir;
  QmaArchiveBuilder q;
  q.add("eor/cell", 0x0E000001, 0x0E, table(1, {{9, entry(0x99, 2, "Cellar Rat")}}));
  q.add("eor/portal", 0x06000001, 0x06, table(1, {{9, entry(9, 1)}}));  // type decides, not the ID
  q.add("eor/portal", 0x0E000001, 0x0E, table(1, {{9, entry(0x19, 4)}}));
  q.add("eor/portal", 0x0E000002, 0x0E, table(2, {{8, entry(8, 4)}}));
  q.add("eor/portal", 0x20000001, 0x0E, table(3, {{9, entry(0x29, 5)}}));  // type 0E, any ID
  const auto image = q.build();
  qm_test::write_file(dir / "multi.qma", {image.begin(), image.end()});
  expect_run(run_tool({"weenie-find", "multi.qma", "9"}, dir.path()), 0,
             lines({"Scanning 4 table files (0x0E prefix) for WCID 9...",
                    "Hit in table eor/cell:0E000001", "  Entry WCID: 00000099", "  WeenieType: 2",
                    "  Name: Cellar Rat",
                    "Hit in table eor/portal:0E000001", "  Entry WCID: 00000019", "  WeenieType: 4",
                    "Hit in table eor/portal:20000001", "  Entry WCID: 00000029", "  WeenieType: 5"}));
}

TEST(WeenieFindCommand, ArchiveRecordsWithABadNamespaceAreSkipped) {
  TempDir dir;
  QmaArchiveBuilder q;
  q.add("eor/portal", 0x0E000001, 0x0E, table(1, {{9, entry(9, 1)}}));
  q.add("eor/portal", 0x0E000002, 0x0E, table(2, {{9, entry(9, 2)}}));
  q.last().ns[20] = 'x';  // bytes after the label's end: its namespace does not resolve
  q.spans = std::vector<qm_test::QmaSpanRecord>{{qm_test::ns_bytes("eor/portal"), 0, 2}};
  const auto image = q.build();
  qm_test::write_file(dir / "a.qma", {image.begin(), image.end()});
  auto r = run_tool({"weenie-find", "a.qma", "9"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("Scanning 1 table files (0x0E prefix) for WCID 9...\n")) << r.out;
  EXPECT_NE(r.out.find("Hit in table eor/portal:0E000001\n"), std::string::npos) << r.out;
}

TEST(WeenieCommand, ArchiveEntriesByNamespace) {
  TempDir dir;
  RawWeenie other = lantern();
  other.class_id = 0x0000DCBA;
  QmaArchiveBuilder q;
  q.add("eor/cell", 0x0E0000AB, 0x0E, qm_test::weenie_payload(other));
  q.add("eor/portal", 0x0E0000AB, 0x0E, qm_test::weenie_payload(lantern()));
  const auto image = q.build();
  qm_test::write_file(dir / "multi.qma", {image.begin(), image.end()});
  expect_run(run_tool({"weenie", "multi.qma", "0x0E0000AB", "--namespace", "eor/portal"}, dir.path()), 0,
             kLanternReport);
  auto cell = run_tool({"weenie", "multi.qma", "0x0E0000AB", "--namespace", "eor/cell"}, dir.path());
  EXPECT_NE(cell.out.find("Weenie Class ID: 0000DCBA\n"), std::string::npos) << cell.out << cell.err;
  expect_run(run_tool({"weenie", "multi.qma", "0x0E0000AB", "--namespace", "eor/none"}, dir.path()), 0,
             "Could not decode a Weenie record from ID 0E0000AB.\n");
}

// ---- landblock ----

lb::CellLandblock terrain_record(std::uint32_t id) {
  lb::CellLandblock c;
  c.id = id;
  c.has_objects = 2;
  for (std::size_t i = 0; i < lb::kGridVertices; ++i) {
    c.terrain[i] = static_cast<std::uint16_t>(i);
    c.height[i] = static_cast<std::uint8_t>((3 * i) % 256);
  }
  c.height[0] = 7;
  c.height[80] = 255;
  return c;
}

const std::string kTerrainReport =
    "Landblock ID:   3A5FFFFF\n"
    "Has Objects:     true\n"
    "Terrain Vertices: 81\n"
    "Height Vertices:  81\n"
    "\n"
    "Heightmap (9x9):\n"
    " 24  51  78 105 132 159 186 213 255 \n"
    " 21  48  75 102 129 156 183 210 237 \n"
    " 18  45  72  99 126 153 180 207 234 \n"
    " 15  42  69  96 123 150 177 204 231 \n"
    " 12  39  66  93 120 147 174 201 228 \n"
    "  9  36  63  90 117 144 171 198 225 \n"
    "  6  33  60  87 114 141 168 195 222 \n"
    "  3  30  57  84 111 138 165 192 219 \n"
    "  7  27  54  81 108 135 162 189 216 \n";

lb::LandblockInfo static_record() {
  lb::LandblockInfo info;
  info.id = 0x3A5FFFFE;
  info.num_cells = 3;
  info.objects.push_back({0x01000001, {}});
  info.objects.push_back({0x01000002, {}});
  info.objects.push_back({0x01000003, {}});
  lb::BuildInfo house;
  house.model_id = 0x01000ABC;
  house.frame.origin = {84.0f, -12.5f, 0.1f};
  house.portals.push_back({1, 0x100, 0, {1, 2, 3}});
  lb::BuildInfo shed;
  shed.model_id = 0x01000DEF;
  info.buildings = {house, shed};
  info.pack_mask = 1;
  info.restriction_tables = lb::RestrictionTable{{{1, 2}}};
  return info;
}

const std::string kStaticReport = lines({
    "",
    "Landblock Info (3A5FFFFE):",
    "Objects:   3",
    "Buildings: 2",
    "  Building model: 01000ABC at Vector3 { x: 84.0, y: -12.5, z: 0.1 }",
    "  Building model: 01000DEF at Vector3 { x: 0.0, y: 0.0, z: 0.0 }",
});

TEST(LandblockCommand, TerrainGridAndBuildings) {
  TempDir dir;
  DatBuilder b(256, 2);
  b.add(0x3A5FFFFF, qm_test::cell_landblock_payload(terrain_record(0x3A5FFFFF)));
  b.add(0x3A5FFFFE, qm_test::landblock_info_payload(static_record()), true);
  b.add(0x3A5F0000, Bytes(300, 0));  // never fetched: 0000 names the landblock
  b.write(dir / "cell.dat");
  for (const char* id : {"0x3A5FFFFF", "0x3A5F0000", "3a5f0000", "979369983"})
    expect_run(run_tool({"landblock", "cell.dat", id}, dir.path()), 0, kTerrainReport + kStaticReport);
}

TEST(LandblockCommand, TheRecordIdIsPrintedNotTheRequestedOne) {
  TempDir dir;
  DatBuilder b;
  lb::CellLandblock c = terrain_record(0x01020304);
  c.has_objects = 0;
  b.add(0x3A5FFFFF, qm_test::cell_landblock_payload(c));
  b.add(0x3A5FFFFE, qm_test::landblock_info_payload(lb::LandblockInfo{}));
  // A non-zero low half other than FFFF is fetched as given, its static record at FFFE.
  b.add(0x12340001, qm_test::cell_landblock_payload(c));
  b.write(dir / "cell.dat");
  auto r = run_tool({"landblock", "cell.dat", "0x3A5F0000"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("Landblock ID:   01020304\nHas Objects:     false\n")) << r.out;
  EXPECT_TRUE(r.out.ends_with("\n\nLandblock Info (3A5FFFFE):\nObjects:   0\nBuildings: 0\n")) << r.out;
  auto other = run_tool({"landblock", "cell.dat", "0x12340001"}, dir.path());
  EXPECT_EQ(other.status, 0) << other.err;
  EXPECT_TRUE(other.out.ends_with(" 216 \n")) << "stops after the grid: 1234FFFE is missing\n" << other.out;
}

TEST(LandblockCommand, WithoutStaticRecordStopsAfterTheGrid) {
  TempDir dir;
  DatBuilder b;
  Bytes longer = qm_test::cell_landblock_payload(terrain_record(0x3A5FFFFF));
  longer.resize(400, 0xAB);  // bytes after the record are ignored
  b.add(0x3A5FFFFF, longer);
  b.write(dir / "cell.dat");
  expect_run(run_tool({"landblock", "cell.dat", "0x3A5FFFFF"}, dir.path()), 0, kTerrainReport);
}

TEST(LandblockCommand, UndecodableStaticRecordFailsAfterTheTerrainPart) {
  TempDir dir;
  Bytes cut = qm_test::landblock_info_payload(static_record());
  cut.resize(cut.size() - 1);  // inside the restriction table
  DatBuilder b;
  b.add(0x3A5FFFFF, qm_test::cell_landblock_payload(terrain_record(0x3A5FFFFF)));
  b.add(0x3A5FFFFE, cut);
  b.write(dir / "cell.dat");
  auto r = run_tool({"landblock", "cell.dat", "0x3A5FFFFF"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kTerrainReport);
  EXPECT_TRUE(r.err.starts_with("Error: Binary read error: failed to fill whole buffer")) << r.err;
  EXPECT_NE(r.err.find("\n\nCaused by:\n    failed to fill whole buffer"), std::string::npos) << r.err;
  for (const char* frame : {"While parsing field 'tables' in RestrictionTable",
                            "While parsing field 'restriction_tables' in LandblockInfo"})
    EXPECT_NE(r.err.find(frame), std::string::npos) << frame << "\n" << r.err;
}

TEST(LandblockCommand, TerrainFailuresPrintNothing) {
  TempDir dir;
  DatBuilder b;
  Bytes short_terrain = qm_test::cell_landblock_payload(terrain_record(0x3A5FFFFF));
  short_terrain.resize(250);
  b.add(0x3A5FFFFF, short_terrain);
  b.add(0x3A5FFFFE, qm_test::landblock_info_payload(static_record()));
  b.write(dir / "cell.dat");

  auto r = run_tool({"landblock", "cell.dat", "0x3A5F0000"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.starts_with("Error: Binary read error: not enough bytes in reader")) << r.err;
  EXPECT_NE(r.err.find("While parsing field 'height' in CellLandblock"), std::string::npos) << r.err;

  // FFFE is not turned into FFFF: the static record is read as terrain and is too short.
  auto fe = run_tool({"landblock", "cell.dat", "0x3A5FFFFE"}, dir.path());
  EXPECT_EQ(fe.status, 1);
  EXPECT_EQ(fe.out, "");
  EXPECT_NE(fe.err.find("in CellLandblock"), std::string::npos) << fe.err;

  expect_run(run_tool({"landblock", "cell.dat", "0x12340000"}, dir.path()), 1, "",
             "Error: File ID 1234FFFF not found in provider\n");
  expect_run(run_tool({"landblock", "cell.dat", "0x"}, dir.path()), 1, "",
             "Error: cannot parse integer from empty string\n");
  expect_run(run_tool({"landblock", "nothing", "0x"}, dir.path()), 1, "",
             "Error: Could not open provider for \"nothing\". Expected .qma or .dat\n");
}

TEST(LandblockCommand, ArchiveEntriesInTheGivenNamespace) {
  TempDir dir;
  lb::CellLandblock other = terrain_record(0x0BADFFFF);
  QmaArchiveBuilder q;
  q.add("eor/cell", 0x3A5FFFFE, 0xFFFE, qm_test::landblock_info_payload(static_record()));
  q.add("eor/cell", 0x3A5FFFFF, 0xFFFF, qm_test::cell_landblock_payload(terrain_record(0x3A5FFFFF)));
  q.add("eor/portal", 0x3A5FFFFF, 0xFFFF, qm_test::cell_landblock_payload(other));
  const auto image = q.build();
  qm_test::write_file(dir / "world.qma", {image.begin(), image.end()});
  expect_run(run_tool({"landblock", "world.qma", "0x3A5F0000", "--namespace", "eor/cell"}, dir.path()), 0,
             kTerrainReport + kStaticReport);
  // No static record in that namespace: the report ends after the grid.
  auto portal = run_tool({"landblock", "world.qma", "0x3A5F0000", "--namespace", "eor/portal"}, dir.path());
  EXPECT_EQ(portal.status, 0) << portal.err;
  EXPECT_TRUE(portal.out.starts_with("Landblock ID:   0BADFFFF\n")) << portal.out;
  EXPECT_TRUE(portal.out.ends_with(" 216 \n")) << portal.out;
}

}  // namespace
