#include <gtest/gtest.h>

#include "qma_builder.hpp"
#include "run_tool.hpp"

namespace {

using qm_test::QmaArchiveBuilder;
using qm_test::run_tool;
using qm_test::TempDir;
using Bytes = std::vector<std::uint8_t>;

// Two namespaces; offsets follow from the builder's layout (payloads from 24 on).
std::filesystem::path two_namespaces(const TempDir& dir) {
  QmaArchiveBuilder b;
  b.add("eor/cell", 0x3A5FFFFF, 0xFE, Bytes(10, 1));
  b.add("eor/cell", 0x3A5FFFFE, 0xFF, Bytes(5, 2));  // out of order on purpose: listed as stored
  b.add("eor/portal", 0x06000001, 6, Bytes(7, 3), 0x04);
  b.add("eor/portal", 0x0E00000E, 0x1234, Bytes(3, 4), 0x01, 99);
  const auto path = dir / "two.qma";
  qm_test::write_file(path, b.build());
  return path;
}

TEST(QmaInspect, MetaCountsNamespacesInByteOrder) {
  TempDir dir;
  two_namespaces(dir);
  auto r = run_tool({"meta", "two.qma"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  // 24 header + 25 payload bytes, then 4 + 2 * 40 bytes of metadata.
  EXPECT_EQ(r.out,
            "Loaded QMA provider with 4 files.\n--- Meta Information ---\nProvider:    QMA\nFile Count:  4\n"
            "Version:     2\nIndex Offs:  0x00000085\nMeta Size:   84\nNamespaces:  2\n"
            "  eor/cell -> 2 entries\n  eor/portal -> 2 entries\n");
  QmaArchiveBuilder empty;
  qm_test::write_file(dir / "empty.qma", empty.build());
  auto e = run_tool({"meta", "empty.qma"}, dir.path());
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_TRUE(e.out.ends_with("Namespaces:  0\n")) << e.out;
}

TEST(QmaInspect, ListInIndexOrderWithWideColumns) {
  TempDir dir;
  two_namespaces(dir);
  auto r = run_tool({"list", "two.qma"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "eor/cell:3A5FFFFF - Landblock (Terrain) (0x000000FE) - Size: 10         - Offset: 00000018 - Flags: 00\n"
            "eor/cell:3A5FFFFE - LandblockInfo (Static) (0x000000FF) - Size: 5          - Offset: 00000022 - Flags: 00\n"
            "eor/portal:06000001 - Texture (DDS/JPG) (0x00000006) - Size: 7          - Offset: 00000027 - Flags: 04\n"
            "eor/portal:0E00000E - Unknown (0x00001234)         - Size: 99         - Offset: 0000002E - Flags: 01\n");
}

TEST(QmaInspect, ListShowsLargeOffsetsAndStopsAtABadNamespace) {
  TempDir dir;
  QmaArchiveBuilder b;
  b.add("eor/portal", 1, 1, Bytes(4, 1));
  b.last().offset = 0x123456789ull;  // shown in full; never read by list
  b.add("eor/portal", 2, 1, Bytes(4, 2));
  b.last().ns = qm_test::ns_bytes("eor/portal");
  b.last().ns[12] = 'x';  // trailing bytes after the terminating zero
  b.spans = std::vector<qm_test::QmaSpanRecord>{{qm_test::ns_bytes("eor/portal"), 0, 2}};
  qm_test::write_file(dir / "bad.qma", b.build());
  auto r = run_tool({"list", "bad.qma"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "eor/portal:00000001 - Model (OBJ) (0x00000001)     - Size: 4          - Offset: 123456789 - Flags: 00\n");
  EXPECT_EQ(r.err, "Error: Invalid namespace: namespace bytes must be zero-padded without embedded trailing data\n");
  auto meta = run_tool({"meta", "bad.qma"}, dir.path());
  EXPECT_EQ(meta.status, 1);
  EXPECT_TRUE(meta.out.ends_with("Meta Size:   44\n")) << meta.out;
}

TEST(QmaInspect, InfoAndExportNeedANamespaceWhenThereAreSeveral) {
  TempDir dir;
  two_namespaces(dir);
  auto many = run_tool({"info", "two.qma", "0x06000001"}, dir.path());
  EXPECT_EQ(many.status, 1);
  EXPECT_EQ(many.err, "Error: Other error: QMA v2 archive contains multiple namespaces; explicit namespace lookup is required\n");
  auto info = run_tool({"info", "two.qma", "0x06000001", "--namespace", "eor/portal"}, dir.path());
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.out,
            "Namespace: eor/portal\nFile ID:   06000001\nType:      Texture (DDS/JPG) (0x00000006)\nSize:      7\n"
            "Offset:    00000027\nFlags:     04\nPruned:    true\nCompressed:false\n");
  EXPECT_EQ(run_tool({"info", "two.qma", "1", "--namespace", ""}, dir.path()).err,
            "Error: Invalid namespace: namespace label cannot be empty\n");
  EXPECT_EQ(run_tool({"info", "two.qma", "5", "--namespace", "eor/cell"}, dir.path()).err,
            "Error: File ID 00000005 not found in provider\n");

  auto exp = run_tool({"export", "two.qma", "0x3A5FFFFF", "--namespace", "eor/cell"}, dir.path());
  ASSERT_EQ(exp.status, 0) << exp.err;
  EXPECT_EQ(exp.out, "Exported 3A5FFFFF to \"eor_cell_3A5FFFFF.bin\"\n");
  EXPECT_EQ(qm_test::read_file(dir / "eor_cell_3A5FFFFF.bin"), Bytes(10, 1));
  // A label that names no namespace: not found, and the bare default name would have been used.
  auto none = run_tool({"export", "two.qma", "0x3A5FFFFF", "--namespace", "eor/none"}, dir.path());
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "Error: File ID 3A5FFFFF not found in provider\n");
}

TEST(QmaInspect, OpeningFailuresAreReported) {
  TempDir dir;
  qm_test::write_file(dir / "empty.qma", {});
  EXPECT_EQ(run_tool({"meta", "empty.qma"}, dir.path()).err,
            "Error: IO error: failed to fill whole buffer\n\nCaused by:\n    failed to fill whole buffer\n");
  QmaArchiveBuilder v1;
  v1.version = 1;
  qm_test::write_file(dir / "v1.qma", v1.build());
  EXPECT_EQ(run_tool({"list", "v1"}, dir.path()).err, "Error: Unsupported version: 1\n");  // found by extension
}

}  // namespace

namespace {

TEST(QmaInspect, SpellExportFromAnArchiveWithSeveralNamespaces) {
  TempDir dir;
  QmaArchiveBuilder b;
  b.add("eor/cell", 0x0E00000E, 0x0E, Bytes(3, 0));
  b.add("eor/portal", 0x0E00000E, 0x0E, {0x0E, 0, 0, 0x0E, 0, 0, 0, 0, 0, 0, 0, 0});  // an empty table
  qm_test::write_file(dir / "two.qma", b.build());
  auto r = run_tool({"spell-export", "two.qma"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Other error: QMA v2 archive contains multiple namespaces; explicit namespace lookup is required\n");
  auto ok = run_tool({"spell-export", "two.qma", "--namespace", "eor/portal", "--fields", "name"}, dir.path());
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, "{\n  \"fileId\": 234881038,\n  \"fields\": [\n    \"name\"\n  ],\n  \"spells\": {}\n}\n");
  auto bad = run_tool({"spell-export", "two.qma", "--namespace", "eor/cell"}, dir.path());
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(bad.err.starts_with("Error: Binary read error: failed to fill whole buffer (While parsing field 'id' in SpellTable"))
      << bad.err;
}

}  // namespace
