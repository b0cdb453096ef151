#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "quillmere_dat/landblock.hpp"
#include "records_builder.hpp"

namespace {

using namespace quillmere_dat::landblock;
using quillmere_dat::ByteCursor;
using quillmere_dat::DatError;
using quillmere_dat::ReadError;
using qm_test::ByteWriter;
using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<std::string>;

std::string f(const std::string& field, const std::string& record) {
  return "While parsing field '" + field + "' in " + record;
}

Frames frame_messages(const ReadError& e) {
  Frames out;
  for (const auto& fr : e.frames()) out.push_back(fr.message);
  return out;
}

CellLandblock sample_cell() {
  CellLandblock c;
  c.id = 0x3A5FFFFF;
  c.has_objects = 1;
  for (std::size_t i = 0; i < kGridVertices; ++i) {
    c.terrain[i] = static_cast<std::uint16_t>(0x100 * i + 3);
    c.height[i] = static_cast<std::uint8_t>(3 * i);
  }
  return c;
}

TEST(CellLandblock, DecodesTheFixedLayoutAndIgnoresTrailingBytes) {
  const CellLandblock want = sample_cell();
  Bytes payload = qm_test::cell_landblock_payload(want);
  ASSERT_EQ(payload.size(), CellLandblock::kSize);
  // Spot-check the layout independently of the builder: terrain word 1 at 10, height 80 at 250.
  EXPECT_EQ(payload[10] | payload[11] << 8, 0x103);
  EXPECT_EQ(payload[250], 240);
  auto got = CellLandblock::unpack(payload);
  ASSERT_TRUE(got) << got.error().message();
  EXPECT_EQ(*got, want);
  payload.insert(payload.end(), 20, 0xEE);
  auto longer = CellLandblock::unpack(payload);
  ASSERT_TRUE(longer);
  EXPECT_EQ(*longer, want);
}

TEST(CellLandblock, ShortPayloadsNameTheField) {
  const Bytes full = qm_test::cell_landblock_payload(sample_cell());
  struct Case {
    std::size_t size;
    std::string field;
    std::string base;
  };
  const std::vector<Case> cases = {
      {0, "id", "failed to fill whole buffer"},
      {3, "id", "failed to fill whole buffer"},
      {4, "has_objects", "failed to fill whole buffer"},
      {7, "has_objects", "failed to fill whole buffer"},
      {8, "terrain", "failed to fill whole buffer"},
      {169, "terrain", "failed to fill whole buffer"},
      {170, "height", "not enough bytes in reader"},
      {250, "height", "not enough bytes in reader"},
  };
  for (const auto& c : cases) {
    auto r = CellLandblock::unpack(std::span(full).first(c.size));
    ASSERT_FALSE(r) << c.size;
    EXPECT_EQ(r.error().kind(), DatError::Kind::BinRead);
    EXPECT_EQ(r.error().read_error().base_message(), c.base) << c.size;
    EXPECT_EQ(frame_messages(r.error().read_error()), Frames{f(c.field, "CellLandblock")}) << c.size;
    EXPECT_EQ(r.error().message().rfind("Binary read error: " + c.base, 0), 0u) << r.error().message();
  }
}

// One object, one building with an odd and an even portal, a restriction table of two pairs.
// Offsets: objects 12, num_buildings 44, building 48, portals 88 (16 bytes) and 104 (12 bytes),
// restriction table 116, end 136.
LandblockInfo full_info() {
  LandblockInfo info;
  info.id = 0x3A5FFFFE;
  info.num_cells = 12;
  info.objects.push_back({0x01000ABC, {{1.0f, 2.0f, 3.0f}, {0.5f, 0.25f, -0.25f, 1.0f}}});
  BuildInfo b;
  b.model_id = 0x01001234;
  b.frame = {{84.0f, -12.5f, 0.0f}, {1.0f, 0.0f, 0.0f, 0.0f}};
  b.num_leaves = 4;
  b.portals.push_back({0x0003, 0x0100, 0x0002, {7, 8, 9}});
  b.portals.push_back({0x0001, 0x0101, 0x0000, {10, 11}});
  info.buildings.push_back(b);
  info.pack_mask = 0x0003;
  info.restriction_tables = RestrictionTable{{{0x3A5F0100, 0x7000001}, {0x3A5F0101, 0x7000002}}};
  return info;
}

TEST(LandblockInfo, RoundTripsThroughTheBuilder) {
  const LandblockInfo want = full_info();
  const Bytes payload = qm_test::landblock_info_payload(want);
  ASSERT_EQ(payload.size(), 136u);
  auto got = LandblockInfo::unpack(payload);
  ASSERT_TRUE(got) << got.error().message();
  EXPECT_EQ(*got, want);
  // Quaternions are stored w first.
  EXPECT_EQ(got->objects[0].frame.orientation.w, 0.5f);
  EXPECT_EQ(got->objects[0].frame.orientation.z, 1.0f);
}

TEST(LandblockInfo, EveryCutReportsTheFramesInnermostFirst) {
  const Bytes full = qm_test::landblock_info_payload(full_info());
  const std::string LI = "LandblockInfo";
  const auto objects = f("objects", LI);
  const auto buildings = f("buildings", LI);
  const auto portals = f("portals", "BuildInfo");
  struct Case {
    std::size_t size;
    Frames frames;
  };
  const std::vector<Case> cases = {
      {0, {f("id", LI)}},
      {5, {f("num_cells", LI)}},
      {10, {f("num_objects", LI)}},
      {14, {f("id", "Stab"), objects}},
      {18, {f("x", "Vector3"), f("origin", "Frame"), f("frame", "Stab"), objects}},
      {22, {f("y", "Vector3"), f("origin", "Frame"), f("frame", "Stab"), objects}},
      {26, {f("z", "Vector3"), f("origin", "Frame"), f("frame", "Stab"), objects}},
      {30, {f("w", "Quaternion"), f("orientation", "Frame"), f("frame", "Stab"), objects}},
      {34, {f("x", "Quaternion"), f("orientation", "Frame"), f("frame", "Stab"), objects}},
      {38, {f("y", "Quaternion"), f("orientation", "Frame"), f("frame", "Stab"), objects}},
      {42, {f("z", "Quaternion"), f("orientation", "Frame"), f("frame", "Stab"), objects}},
      {45, {f("num_buildings", LI)}},
      {47, {f("pack_mask", LI)}},
      {50, {f("model_id", "BuildInfo"), buildings}},
      {58, {f("y", "Vector3"), f("origin", "Frame"), f("frame", "BuildInfo"), buildings}},
      {70, {f("x", "Quaternion"), f("orientation", "Frame"), f("frame", "BuildInfo"), buildings}},
      {82, {f("num_leaves", "BuildInfo"), buildings}},
      {86, {f("num_portals", "BuildInfo"), buildings}},
      {89, {f("flags", "PortalInternal"), portals, buildings}},
      {91, {f("other_cell_id", "PortalInternal"), portals, buildings}},
      {93, {f("other_portal_id", "PortalInternal"), portals, buildings}},
      {95, {f("num_stabs", "PortalInternal"), portals, buildings}},
      {99, {f("stab_list", "PortalInternal"), portals, buildings}},
      // The padding of the odd list is skipped, not read: the next portal is what fails.
      {102, {f("flags", "PortalInternal"), portals, buildings}},
      {103, {f("flags", "PortalInternal"), portals, buildings}},
      {113, {f("stab_list", "PortalInternal"), portals, buildings}},
      {117, {f("count", "RestrictionTable"), f("restriction_tables", LI)}},
      {119, {f("_bucket_size", "RestrictionTable"), f("restriction_tables", LI)}},
      {125, {f("tables", "RestrictionTable"), f("restriction_tables", LI)}},
      {135, {f("tables", "RestrictionTable"), f("restriction_tables", LI)}},
  };
  for (const auto& c : cases) {
    auto r = LandblockInfo::unpack(std::span(full).first(c.size));
    ASSERT_FALSE(r) << c.size;
    EXPECT_EQ(r.error().kind(), DatError::Kind::BinRead);
    EXPECT_EQ(r.error().read_error().base_message(), "failed to fill whole buffer") << c.size;
    EXPECT_EQ(frame_messages(r.error().read_error()), c.frames) << c.size;
  }
}

TEST(LandblockInfo, FramesPointIntoTheLandblockModule) {
  const Bytes full = qm_test::landblock_info_payload(full_info());
  auto r = LandblockInfo::unpack(std::span(full).first(99));
  ASSERT_FALSE(r);
  const auto& frames = r.error().read_error().frames();
  ASSERT_EQ(frames.size(), 3u);
  for (const auto& fr : frames) {
    EXPECT_EQ(fr.file, "libs/dat/src/landblock.cpp");
    EXPECT_GT(fr.line, 0u);
  }
  // The message names the base failure and all three frames in order.
  const std::string msg = r.error().message();
  EXPECT_EQ(msg.rfind("Binary read error: failed to fill whole buffer", 0), 0u) << msg;
  const auto a = msg.find(f("stab_list", "PortalInternal"));
  const auto b = msg.find(f("portals", "BuildInfo"));
  const auto c = msg.find(f("buildings", "LandblockInfo"));
  EXPECT_TRUE(a != std::string::npos && a < b && b < c && c != std::string::npos) << msg;
}

TEST(LandblockInfo, RecordReadersPutTheCursorBack) {
  const Bytes full = qm_test::landblock_info_payload(full_info());
  const auto cut = std::span(full).first(99);
  ByteCursor c(cut);
  EXPECT_FALSE(LandblockInfo::read(c));
  EXPECT_EQ(c.position(), 0u);
  ByteCursor p(cut, 88);  // the first portal
  EXPECT_FALSE(PortalInternal::read(p));
  EXPECT_EQ(p.position(), 88u);
  ByteCursor s{std::span(full).first(40), 12};  // the stab, cut inside its quaternion
  EXPECT_FALSE(Stab::read(s));
  EXPECT_EQ(s.position(), 12u);
}

TEST(LandblockInfo, EmptyRecordIsSixteenBytes) {
  ByteWriter w;
  w.u32(0x12340000).u32(0).u32(0).u16(0).u16(0);
  const Bytes b = w.take();
  auto r = LandblockInfo::unpack(b);
  ASSERT_TRUE(r) << r.error().message();
  EXPECT_EQ(r->id, 0x12340000u);
  EXPECT_TRUE(r->objects.empty());
  EXPECT_TRUE(r->buildings.empty());
  EXPECT_FALSE(r->restriction_tables);
  for (std::size_t n = 0; n < b.size(); ++n) EXPECT_FALSE(LandblockInfo::unpack(std::span(b).first(n))) << n;
}

TEST(LandblockInfo, PackMaskBitZeroAloneDecidesTheRestrictionTable) {
  ByteWriter w;
  w.u32(1).u32(0).u32(0).u16(0).u16(1);
  auto missing = LandblockInfo::unpack(w.bytes());
  ASSERT_FALSE(missing);
  EXPECT_EQ(frame_messages(missing.error().read_error()),
            (Frames{f("count", "RestrictionTable"), f("restriction_tables", "LandblockInfo")}));

  ByteWriter bit1;
  bit1.u32(1).u32(0).u32(0).u16(0).u16(2);
  qm_test::write_restriction_table(bit1, {{1, 2}});
  auto skipped = LandblockInfo::unpack(bit1.bytes());
  ASSERT_TRUE(skipped) << skipped.error().message();
  EXPECT_FALSE(skipped->restriction_tables);
  EXPECT_EQ(skipped->pack_mask, 2u);

  ByteWriter empty_table;
  empty_table.u32(1).u32(0).u32(0).u16(0).u16(0xFFFF);
  qm_test::write_restriction_table(empty_table, {}, 7);
  auto present = LandblockInfo::unpack(empty_table.bytes());
  ASSERT_TRUE(present) << present.error().message();
  ASSERT_TRUE(present->restriction_tables);
  EXPECT_TRUE(present->restriction_tables->tables.empty());
}

TEST(PortalInternal, OddStabCountsArePadded) {
  for (std::uint16_t n = 0; n <= 4; ++n) {
    ByteWriter w;
    w.u16(1).u16(2).u16(3).u16(n);
    for (std::uint16_t i = 0; i < n; ++i) w.u16(static_cast<std::uint16_t>(100 + i));
    if (n % 2) w.u16(0xEEEE);
    const std::size_t size = w.size();
    EXPECT_EQ(size, 8u + 2u * n + (n % 2 ? 2u : 0u));
    w.u32(0xFFFFFFFF);  // whatever follows
    const Bytes b = w.take();
    ByteCursor c(b);
    auto p = PortalInternal::read(c);
    ASSERT_TRUE(p) << n;
    EXPECT_EQ(c.position(), size) << n;
    ASSERT_EQ(p->stab_list.size(), n);
    for (std::uint16_t i = 0; i < n; ++i) EXPECT_EQ(p->stab_list[i], 100 + i);
  }
}

TEST(PortalInternal, MissingPaddingAtTheVeryEndIsNoError) {
  LandblockInfo info;
  BuildInfo b;
  b.portals.push_back({0, 0, 0, {5}});
  info.buildings.push_back(b);
  Bytes payload = qm_test::landblock_info_payload(info);
  payload.resize(payload.size() - 2);  // the padding of the last portal
  auto r = LandblockInfo::unpack(payload);
  ASSERT_TRUE(r) << r.error().message();
  ASSERT_EQ(r->buildings.size(), 1u);
  EXPECT_EQ(r->buildings[0].portals[0].stab_list, std::vector<std::uint16_t>{5});
  // A skip past the end followed by a read fails on that read.
  ByteWriter w;
  w.u16(0).u16(0).u16(0).u16(1).u16(9);
  ByteCursor c(w.bytes());
  ASSERT_TRUE(PortalInternal::read(c));
  EXPECT_EQ(c.position(), 12u);
  EXPECT_FALSE(PortalInternal::read(c));
}

TEST(RestrictionTable, RepeatedKeyKeepsTheSecondValue) {
  ByteWriter w;
  qm_test::write_restriction_table(w, {{0x10, 1}, {0x10, 2}});
  ByteCursor c(w.bytes());
  auto t = RestrictionTable::read(c);
  ASSERT_TRUE(t);
  ASSERT_EQ(t->tables.size(), 1u);
  EXPECT_EQ(t->tables.at(0x10), 2u);
  EXPECT_EQ(c.position(), 20u);
}

// Counts far beyond the data fail at the end of the data, without reserving for the count.
TEST(LandblockInfo, HugeCountsFailAtTheEndOfTheData) {
  ByteWriter objects;
  objects.u32(1).u32(0).u32(0xFFFFFFFF).fill(40);
  auto r1 = LandblockInfo::unpack(objects.bytes());
  ASSERT_FALSE(r1);
  EXPECT_EQ(frame_messages(r1.error().read_error()).back(), f("objects", "LandblockInfo"));

  ByteWriter portals;
  portals.u32(1).u32(0).u32(0).u16(1).u16(0);
  portals.u32(7).fill(28).u32(0).u32(0xFFFFFFFF).fill(32);  // four empty portals, then a cut
  auto r2 = LandblockInfo::unpack(portals.bytes());
  ASSERT_FALSE(r2);
  EXPECT_EQ(frame_messages(r2.error().read_error()),
            (Frames{f("flags", "PortalInternal"), f("portals", "BuildInfo"), f("buildings", "LandblockInfo")}));

  ByteWriter buildings;
  buildings.u32(1).u32(0).u32(0).u16(0xFFFF).u16(0).fill(10);
  EXPECT_FALSE(LandblockInfo::unpack(buildings.bytes()));

  ByteWriter pairs;
  pairs.u16(0xFFFF).u16(0).fill(20);
  ByteCursor c(pairs.bytes());
  auto r3 = RestrictionTable::read(c);
  ASSERT_FALSE(r3);
  EXPECT_EQ(frame_messages(r3.error()), Frames{f("tables", "RestrictionTable")});
}

}  // namespace
