#include <gtest/gtest.h>

#include <fmt/format.h>

#include "archive_entries.hpp"
#include "container_fixtures.hpp"
#include "dat_builder.hpp"
#include "qma_builder.hpp"
#include "quillmere_dat/io_error.hpp"
#include "run_tool.hpp"

namespace {

namespace fs = std::filesystem;
using qm_test::ArchiveEntry;
using qm_test::names_in;
using qm_test::read_file;
using qm_test::run_tool;
using qm_test::TempDir;

std::string pack_lines(const std::string& input, const std::string& output, std::size_t count) {
  return fmt::format("Packing files from \"{}\" into \"{}\"\nSuccessfully packed {} files into \"{}\"\n", input, output,
                     count, output);
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& extra) {
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

const std::vector<std::vector<std::string>> kCompression = {{}, {"-c"}};

// The direct pack and unpack followed by a folder pack write the same archive, byte for byte:
// the same entries in the same order, so also the same compression decisions.
TEST(PackDirect, DatGivesTheArchiveOfUnpackThenPack) {
  struct Case {
    std::vector<qm_test::FixtureEntry> entries;
    std::uint32_t block_size, dataset;
    std::string ns;
  };
  const std::vector<Case> cases = {
      {qm_test::portal_fixture_entries(), 1024, 1, "eor/portal"},
      {qm_test::cell_fixture_entries(), 256, 2, "eor/cell"},
  };
  for (const auto& c : cases) {
    for (const auto& flag : kCompression) {
      TempDir dir;
      qm_test::write_dat_fixture(dir / "src.dat", c.entries, c.block_size, c.dataset);
      // The folder pack takes its namespace from the output name; name it after the dataset.
      const std::string via_folder = c.ns == "eor/cell" ? "cell.qma" : "portal.qma";
      auto direct = run_tool(with({"qma-pack", "src.dat", "direct.qma"}, flag), dir.path());
      ASSERT_EQ(direct.status, 0) << direct.err;
      EXPECT_EQ(direct.out, pack_lines("src.dat", "direct.qma", c.entries.size()));
      EXPECT_EQ(direct.err, "");
      ASSERT_EQ(run_tool({"unpack", "src.dat", "files"}, dir.path()).status, 0);
      ASSERT_EQ(run_tool(with({"qma-pack", "files", via_folder}, flag), dir.path()).status, 0);

      EXPECT_EQ(read_file(dir / "direct.qma"), read_file(dir / via_folder)) << c.ns << flag.size();
      const auto entries = qm_test::read_archive_entries(dir / "direct.qma");
      ASSERT_EQ(entries.size(), c.entries.size());
      bool any_compressed = false;
      for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].ns, c.ns);
        EXPECT_EQ(entries[i].file_id, c.entries[i].file_id);
        EXPECT_EQ(entries[i].type_id, c.entries[i].type_id);
        EXPECT_EQ(entries[i].payload, c.entries[i].payload);
        any_compressed = any_compressed || (entries[i].flags & 1) != 0;
      }
      EXPECT_EQ(any_compressed, !flag.empty());
    }
  }
}

TEST(PackDirect, OtherDatasetsFollowTheOutputName) {
  struct Case {
    std::uint32_t block_size, dataset, magic;
    std::string output, ns;
  };
  const std::vector<Case> cases = {
      {4096, 1, quillmere_dat::kRetailMagic, "out.qma", "eor/portal"},
      {4096, 1, quillmere_dat::kRetailMagic, "MyCells.qma", "eor/cell"},
      {1024, 2, quillmere_dat::kRetailMagic, "cell_data.qma", "eor/cell"},
      {256, 2, 0x1234, "portal.qma", "eor/portal"},
      // Portal and cell datasets carry their own namespace whatever the output is called.
      {256, 2, quillmere_dat::kRetailMagic, "out.qma", "eor/cell"},
      {1024, 1, quillmere_dat::kRetailMagic, "cell.qma", "eor/portal"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    qm_test::DatBuilder b(c.block_size, c.dataset, c.magic);
    b.add(0x0600000A, qm_test::noise(30, 1));
    b.write(dir / "in.dat");
    auto r = run_tool({"qma-pack", "in.dat", c.output}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto entries = qm_test::read_archive_entries(dir / c.output);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].ns, c.ns) << c.block_size << " " << c.output;
  }
}

TEST(PackDirect, ArchiveKeepsEveryNamespaceAndTheEntriesOfUnpackThenPack) {
  const auto source = qm_test::two_namespace_entries();
  for (const bool source_compressed : {false, true}) {
    for (const auto& flag : kCompression) {
      TempDir dir;
      qm_test::write_archive_fixture(dir / "src.qma", source, source_compressed);
      auto r = run_tool(with({"qma-pack", "src.qma", "out.qma"}, flag), dir.path());
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out, pack_lines("src.qma", "out.qma", source.size()));
      auto packed = qm_test::read_archive_entries(dir / "out.qma");
      // Same namespaces, IDs, types, payloads and pruned markers; compression as asked now.
      bool any_compressed = false;
      for (auto& e : packed) {
        any_compressed = any_compressed || (e.flags & 1) != 0;
        e.flags = static_cast<std::uint8_t>(e.flags & ~1u);
      }
      EXPECT_EQ(any_compressed, !flag.empty());
      EXPECT_EQ(packed, source);

      // Unpack and a folder pack per namespace give the same entries, namespace by namespace.
      ASSERT_EQ(run_tool({"unpack", "src.qma", "files"}, dir.path()).status, 0);
      ASSERT_EQ(run_tool(with({"qma-pack", "files/eor_cell", "cell.qma"}, flag), dir.path()).status, 0);
      ASSERT_EQ(run_tool(with({"qma-pack", "files/eor_portal", "portal.qma"}, flag), dir.path()).status, 0);
      auto via_folders = qm_test::read_archive_entries(dir / "cell.qma");
      for (auto& e : qm_test::read_archive_entries(dir / "portal.qma")) via_folders.push_back(e);
      auto direct = qm_test::read_archive_entries(dir / "out.qma");
      for (auto& e : direct) e.flags = static_cast<std::uint8_t>(e.flags & ~4u);  // unpack cannot carry the pruned marker
      EXPECT_EQ(direct, via_folders);
    }
  }
}

TEST(PackDirect, SingleNamespaceArchiveRepacksByteForByte) {
  TempDir dir;
  std::vector<ArchiveEntry> source;
  for (const auto& e : qm_test::two_namespace_entries())
    if (e.ns == "eor/portal") source.push_back(e);
  qm_test::write_archive_fixture(dir / "src.qma", source, true);
  ASSERT_EQ(run_tool({"qma-pack", "-c", "src.qma", "again.qma"}, dir.path()).status, 0);
  EXPECT_EQ(read_file(dir / "again.qma"), read_file(dir / "src.qma"));
  ASSERT_EQ(run_tool({"unpack", "src.qma", "files"}, dir.path()).status, 0);
  ASSERT_EQ(run_tool({"qma-pack", "-c", "files", "folder.qma"}, dir.path()).status, 0);
  EXPECT_EQ(read_file(dir / "again.qma"), read_file(dir / "folder.qma"));
}

TEST(PackDirect, OnlyRegularFilesNamedDatOrQmaInAnyCaseAreContainers) {
  TempDir dir;
  qm_test::write_dat_fixture(dir / "PORTAL.DAT", qm_test::portal_fixture_entries(), 1024, 1);
  auto upper = run_tool({"qma-pack", "PORTAL.DAT", "a.qma"}, dir.path());
  EXPECT_EQ(upper.status, 0) << upper.err;
  EXPECT_EQ(upper.out, pack_lines("PORTAL.DAT", "a.qma", qm_test::portal_fixture_entries().size()));
  fs::rename(dir / "a.qma", dir / "b.QmA");
  auto mixed = run_tool({"qma-pack", "b.QmA", "c.qma"}, dir.path());
  EXPECT_EQ(mixed.status, 0) << mixed.err;
  EXPECT_EQ(read_file(dir / "c.qma"), read_file(dir / "b.QmA"));

  // A folder named like a container is still a folder; a missing one is still a folder error.
  fs::create_directory(dir / "folder.dat");
  qm_test::write_file(dir / "folder.dat" / "1.6", {'x'});
  auto folder = run_tool({"qma-pack", "folder.dat", "f.qma"}, dir.path());
  EXPECT_EQ(folder.status, 0) << folder.err;
  EXPECT_EQ(folder.out, pack_lines("folder.dat", "f.qma", 1));
  auto missing = run_tool({"qma-pack", "missing.dat", "m.qma"}, dir.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Error: Failed to read input directory\n\nCaused by:\n    " +
                             quillmere_dat::IoError::from_errno(ENOENT).message + "\n");
  // A regular file of another extension is not opened as a container.
  fs::copy_file(dir / "PORTAL.DAT", dir / "portal.bak");
  auto other = run_tool({"qma-pack", "portal.bak", "o.qma"}, dir.path());
  EXPECT_EQ(other.status, 1);
  EXPECT_EQ(other.err, "Error: Failed to read input directory\n\nCaused by:\n    " +
                           quillmere_dat::IoError::from_errno(ENOTDIR).message + "\n");
}

TEST(PackDirect, FailuresLeaveAnEarlierOutputAndNoTemporaryFile) {
  const std::vector<std::uint8_t> precious = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  struct Case {
    std::string input;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"broken.dat", "Error: Failed to read entry 01000002\n\nCaused by:\n    0: IO error: failed to fill whole buffer\n"
                     "    1: failed to fill whole buffer\n"},
      {"dup.qma", "Error: Duplicate namespaced file eor/portal:00000003 detected\n"},
      {"range.qma", "Error: Failed to read entry eor/portal:00000004\n\nCaused by:\n    Corruption detected: Entry range "
                    "out of bounds for 0x00000004: offset 4000 + comp_size 5 > file_len 328\n"},
      {"garbage.qma", "Error: Invalid magic for format: QMA\n"},
  };
  TempDir dir;
  qm_test::write_broken_chain_dat(dir / "broken.dat");
  qm_test::QmaArchiveBuilder dup;
  for (std::uint32_t id : {1u, 3u, 3u}) dup.add("eor/portal", id, 6, qm_test::noise(5, id));
  qm_test::write_file(dir / "dup.qma", dup.build());
  qm_test::QmaArchiveBuilder range;
  for (std::uint32_t id : {1u, 2u, 3u, 4u}) range.add("eor/portal", id, 6, qm_test::noise(5, id));
  range.last().offset = 4000;
  const auto range_bytes = range.build();
  ASSERT_EQ(range_bytes.size(), 24u + 4 * 5 + 44 + 4 * 60);
  qm_test::write_file(dir / "range.qma", range_bytes);
  qm_test::write_file(dir / "garbage.qma", std::vector<std::uint8_t>(40, 'g'));

  for (const auto& c : cases) {
    qm_test::write_file(dir / "out.qma", precious);
    const auto before = names_in(dir.path());
    auto r = run_tool({"qma-pack", "-c", c.input, "out.qma"}, dir.path());
    EXPECT_EQ(r.status, 1) << c.input;
    EXPECT_EQ(r.out, fmt::format("Packing files from \"{}\" into \"out.qma\"\n", c.input));
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(read_file(dir / "out.qma"), precious) << c.input;
    EXPECT_EQ(names_in(dir.path()), before) << c.input;
  }

  // The output cannot be written: the folder pack's report.
  fs::create_directory(dir / "taken.qma");
  auto r = run_tool({"qma-pack", "dup.qma", "taken.qma"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: Failed to write QMA file\n\nCaused by:\n    0: IO error: " +
                       quillmere_dat::IoError::from_errno(EISDIR).message + "\n    1: " +
                       quillmere_dat::IoError::from_errno(EISDIR).message + "\n");
}

}  // namespace
