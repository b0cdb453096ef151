#include <gtest/gtest.h>

#include <sys/stat.h>

#include "dat_builder.hpp"
#include "run_tool.hpp"

namespace {

std::string fmt_lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

using qm_test::DatBuilder;
using qm_test::run_tool;
using qm_test::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes filled(std::size_t n, std::uint8_t v) { return Bytes(n, v); }

// Entries spread so that the tree order differs from the ID order.
std::filesystem::path portal_fixture(const TempDir& dir, const std::string& name = "portal.dat") {
  DatBuilder b(1024, 1);
  b.tree_shape(2, 3).scatter(9);
  b.add(0x0E00000E, filled(40, 0xEE));
  b.add(0x06000010, filled(2000, 0x66));
  b.add(0x01000001, filled(10, 0x11));
  b.add(0x0A000002, filled(64, 0x0A), true);
  b.add(0x0B000003, filled(3, 0x0B));
  b.add(0xFFFF0001, filled(8, 0xFF));
  const auto path = dir / name;
  b.write(path);
  return path;
}

TEST(DatInspect, ListIsSortedByIdWithPaddedColumns) {
  TempDir dir;
  portal_fixture(dir);
  auto r = run_tool({"list", "portal.dat"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(r.out.substr(at, nl - at));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(lines[0].starts_with("01000001 - Model (OBJ)               - Size: 10         - Offset: ")) << lines[0];
  EXPECT_TRUE(lines[0].ends_with(" - Flags: 00000000"));
  EXPECT_TRUE(lines[1].starts_with("06000010 - Texture (DDS/JPG)         - Size: 2000       - Offset: "));
  EXPECT_TRUE(lines[2].starts_with("0A000002 - Audio (WAV)               - Size: "));
  EXPECT_TRUE(lines[2].ends_with(" - Flags: 00000001"));
  EXPECT_TRUE(lines[3].starts_with("0B000003 - Unknown                   - Size: 3          - Offset: "));
  EXPECT_TRUE(lines[4].starts_with("0E00000E - Table                     - Size: 40         - Offset: "));
  EXPECT_TRUE(lines[5].starts_with("FFFF0001 - Iteration (Metadata)      - Size: 8          - Offset: "));
}

TEST(DatInspect, MetaNamesTheDataset) {
  struct Case {
    std::uint32_t magic, block, dataset;
    const char* ns_line;
  };
  for (const auto& c : {Case{0x5442, 1024, 1, "Namespace:   eor/portal"}, Case{0x5442, 256, 2, "Namespace:   eor/cell"},
                        Case{0x5442, 1024, 2, "Namespace:   <unknown retail dataset>"},
                        Case{0x1234, 256, 2, "Namespace:   <unknown retail dataset>"}}) {
    TempDir dir;
    DatBuilder b(c.block, c.dataset, c.magic);
    b.add(0x06000001, filled(5, 1)).add(0x06000002, filled(5, 2));
    b.write(dir / "x.dat");
    auto r = run_tool({"meta", "x.dat"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, fmt_lines({"Loaded DAT provider with 2 files.", "--- Meta Information ---",
                                "Provider:    DAT", "File Count:  2",
                                std::string("Magic:       0x") + (c.magic == 0x5442 ? "00005442" : "00001234"),
                                "Block Size:  " + std::to_string(c.block), "Dataset:     " + std::to_string(c.dataset),
                                c.ns_line}));
  }
}

TEST(DatInspect, InfoFoundAndNotFound) {
  TempDir dir;
  portal_fixture(dir);
  auto found = run_tool({"info", "portal.dat", "0x0B000003", "--namespace", "ignored"}, dir.path());
  ASSERT_EQ(found.status, 0);
  EXPECT_TRUE(found.out.starts_with("File ID: 0B000003\nType:    Unknown\nSize:    3\nOffset:  ")) << found.out;
  EXPECT_TRUE(found.out.ends_with("\nFlags:   00000000\n"));
  auto missing = run_tool({"info", "portal.dat", "123"}, dir.path());
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(missing.out, "File ID 0000007B not found.\n");
  // The provider is opened before the ID is read: a missing file wins over a bad ID.
  auto both_bad = run_tool({"info", "absent.dat", "zz"}, dir.path());
  EXPECT_EQ(both_bad.status, 1);
  EXPECT_EQ(both_bad.err,
            "Error: Failed to open file at absent.dat: No such file or directory\n\nCaused by:\n"
            "    No such file or directory\n");
  auto bad_id = run_tool({"info", "portal.dat", "zz"}, dir.path());
  EXPECT_EQ(bad_id.status, 1);
  EXPECT_EQ(bad_id.err, "Error: invalid digit found in string\n");
}

TEST(DatInspect, ExportWritesDecompressedPayload) {
  TempDir dir;
  portal_fixture(dir);
  auto r = run_tool({"export", "portal.dat", "0x0A000002"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Exported 0A000002 to \"0A000002.bin\"\n");
  EXPECT_EQ(qm_test::read_file(dir / "0A000002.bin"), filled(64, 0x0A));
  auto named = run_tool({"export", "portal.dat", "0E00000E", "-o", "t.bin"}, dir.path());
  EXPECT_EQ(named.out, "Exported 0E00000E to \"t.bin\"\n");
  // 0E00000E is decimal digits: read as decimal, so it names another file.
  EXPECT_EQ(run_tool({"export", "portal.dat", "0x0E00000E"}, dir.path()).out, "Exported 0E00000E to \"0E00000E.bin\"\n");
  auto missing = run_tool({"export", "portal.dat", "0x01000002"}, dir.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Error: File ID 01000002 not found in provider\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "01000002.bin"));
  auto no_dir = run_tool({"export", "portal.dat", "0x01000001", "-o", "nodir/x.bin"}, dir.path());
  EXPECT_EQ(no_dir.status, 1);
  EXPECT_EQ(no_dir.err, "Error: No such file or directory\n");
}

TEST(DatInspect, ProviderOpeningRules) {
  TempDir dir;
  portal_fixture(dir, "portal.dat");
  std::filesystem::copy_file(dir / "portal.dat", dir / "UPPER.DAT");
  std::filesystem::copy_file(dir / "portal.dat", dir / "archive.bak");  // never opened itself
  auto upper = run_tool({"meta", "UPPER.DAT"}, dir.path());
  EXPECT_EQ(upper.status, 0) << upper.err;
  auto no_ext = run_tool({"meta", "portal"}, dir.path());
  EXPECT_EQ(no_ext.status, 0) << no_ext.err;
  EXPECT_TRUE(no_ext.out.starts_with("Loaded DAT provider with 6 files.\n"));
  auto other = run_tool({"meta", "portal.bak"}, dir.path());
  EXPECT_EQ(other.status, 0);
  auto none = run_tool({"meta", "archive.bak"}, dir.path());
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "Error: Could not open provider for \"archive.bak\". Expected .qma or .dat\n");
  auto none2 = run_tool({"list", "data/portal"}, dir.path());
  EXPECT_EQ(none2.err, "Error: Could not open provider for \"data/portal\". Expected .qma or .dat\n");
  // A .qma path is read as an archive, whatever it holds; no fallback to the DAT reader.
  std::filesystem::copy_file(dir / "portal.dat", dir / "fake.qma");
  auto fake = run_tool({"meta", "fake.qma"}, dir.path());
  EXPECT_EQ(fake.status, 1);
  EXPECT_EQ(fake.err, "Error: Invalid magic for format: QMA\n");
}

TEST(DatInspect, DamagedDatabaseReportsTheReaderError) {
  TempDir dir;
  qm_test::write_file(dir / "short.dat", Bytes(100, 0));
  auto r = run_tool({"meta", "short.dat"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.starts_with("Error: Binary read error: failed to fill whole buffer (While parsing field "
                                "'magic' in DatHeader at "))
      << r.err;
  EXPECT_NE(r.err.find("\n\nCaused by:\n    failed to fill whole buffer (While parsing field 'magic'"),
            std::string::npos);
  DatBuilder b(1024, 1);
  b.root(0x00FFFFF0);
  b.write(dir / "root.dat");
  auto io = run_tool({"list", "root.dat"}, dir.path());
  EXPECT_EQ(io.err, "Error: IO error: failed to fill whole buffer\n\nCaused by:\n    failed to fill whole buffer\n");
}

}  // namespace
