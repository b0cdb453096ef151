#include <gtest/gtest.h>

#include <fmt/format.h>

#include "archive_entries.hpp"
#include "container_fixtures.hpp"
#include "dat_builder.hpp"
#include "qma_builder.hpp"
#include "quillmere_dat/io_error.hpp"
#include "run_program.hpp"
#include "run_tool.hpp"

namespace {

namespace fs = std::filesystem;
using qm_test::ArchiveEntry;
using qm_test::FixtureEntry;
using qm_test::files_under;
using qm_test::names_in;
using qm_test::run_tool;
using qm_test::TempDir;
using Bytes = std::vector<std::uint8_t>;

std::uint64_t total_bytes(const std::vector<FixtureEntry>& entries) {
  std::uint64_t n = 0;
  for (const auto& e : entries) n += e.payload.size();
  return n;
}

// What unpack of `entries` must leave in the folder: every payload under its [ID].[TYPE] name.
std::map<std::string, Bytes> expected_files(const std::vector<FixtureEntry>& entries, const std::string& prefix = "") {
  std::map<std::string, Bytes> files;
  for (const auto& e : entries) files[prefix + qm_test::unpacked_name(e)] = e.payload;
  return files;
}

std::vector<ArchiveEntry> as_archive(const std::vector<FixtureEntry>& entries, const std::string& ns) {
  std::vector<ArchiveEntry> out;
  for (const auto& e : entries) out.push_back({ns, e.file_id, e.type_id, 0, e.payload});
  return out;
}

std::vector<ArchiveEntry> in_namespace(std::vector<ArchiveEntry> entries, const std::string& ns) {
  std::erase_if(entries, [&](const ArchiveEntry& e) { return e.ns != ns; });
  for (auto& e : entries) e.flags = 0;
  return entries;
}

TEST(UnpackDat, WritesEveryPayloadDecompressedUnderIdAndTypeAndPacksBackUnchanged) {
  struct Case {
    std::vector<FixtureEntry> entries;
    std::uint32_t block_size, dataset;
    std::string dat, archive, ns;
  };
  const std::vector<Case> cases = {
      {qm_test::portal_fixture_entries(), 1024, 1, "portal.dat", "portal.qma", "eor/portal"},
      {qm_test::cell_fixture_entries(), 256, 2, "cell.dat", "cell.qma", "eor/cell"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    qm_test::write_dat_fixture(dir / c.dat, c.entries, c.block_size, c.dataset);
    auto r = run_tool({"unpack", c.dat, "out"}, dir.path());
    ASSERT_EQ(r.status, 0) << c.dat << r.err;
    EXPECT_EQ(r.out, fmt::format("Unpacked {} entries ({} bytes) into \"out\"\n", c.entries.size(), total_bytes(c.entries)));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(files_under(dir / "out"), expected_files(c.entries)) << c.dat;

    auto packed = run_tool({"qma-pack", "out", c.archive}, dir.path());
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(packed.out, fmt::format("Packing files from \"out\" into \"{}\"\nSuccessfully packed {} files into \"{}\"\n",
                                      c.archive, c.entries.size(), c.archive));
    EXPECT_EQ(qm_test::archive_contents(dir / c.archive), as_archive(c.entries, c.ns)) << c.dat;
  }
}

TEST(UnpackDat, CreatesMissingParentsAndReplacesEarlierFilesWhole) {
  TempDir dir;
  const auto entries = qm_test::portal_fixture_entries();
  qm_test::write_dat_fixture(dir / "portal.dat", entries, 1024, 1);
  fs::create_directories(dir / "a" / "b");
  qm_test::write_file(dir / "a" / "b" / "0E00000E.E", {'o', 'l', 'd'});
  qm_test::write_file(dir / "a" / "b" / "keep.txt", {'k'});
  auto r = run_tool({"unpack", "portal.dat", "a/b", "--namespace", "ignored for a DAT"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, fmt::format("Unpacked {} entries ({} bytes) into \"a/b\"\n", entries.size(), total_bytes(entries)));
  auto expected = expected_files(entries);
  expected["keep.txt"] = {'k'};  // files of other names are left alone
  EXPECT_EQ(files_under(dir / "a" / "b"), expected);  // and no temporary file is left over

  auto deeper = run_tool({"unpack", "portal.dat", "x/y/z"}, dir.path());
  ASSERT_EQ(deeper.status, 0) << deeper.err;
  EXPECT_EQ(files_under(dir / "x" / "y" / "z"), expected_files(entries));
}

TEST(UnpackQma, SeveralNamespacesGoToOneFolderEachAndPackBackPerNamespace) {
  TempDir dir;
  const auto entries = qm_test::two_namespace_entries();
  qm_test::write_archive_fixture(dir / "two.qma", entries, true);
  auto r = run_tool({"unpack", "two.qma", "out"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Unpacked 3 entries (1064 bytes) of eor/cell into \"out/eor_cell\"\n"
            "Unpacked 3 entries (4033 bytes) of eor/portal into \"out/eor_portal\"\n"
            "Unpacked 6 entries (5097 bytes) into \"out\"\n");
  EXPECT_EQ(r.err, "");
  std::map<std::string, Bytes> expected;
  for (const auto& e : entries)
    expected[fmt::format("{}/{:08X}.{:X}", e.ns == "eor/cell" ? "eor_cell" : "eor_portal", e.file_id, e.type_id)] = e.payload;
  EXPECT_EQ(files_under(dir / "out"), expected);

  // Each folder packs back into its namespace (chosen by the output name) with the same entries.
  ASSERT_EQ(run_tool({"qma-pack", "out/eor_cell", "cell.qma"}, dir.path()).status, 0);
  ASSERT_EQ(run_tool({"qma-pack", "-c", "out/eor_portal", "portal.qma"}, dir.path()).status, 0);
  EXPECT_EQ(qm_test::archive_contents(dir / "cell.qma"), in_namespace(entries, "eor/cell"));
  EXPECT_EQ(qm_test::archive_contents(dir / "portal.qma"), in_namespace(entries, "eor/portal"));
}

TEST(UnpackQma, OneNamespaceOrAChosenOneGoesStraightIntoTheFolder) {
  TempDir dir;
  const auto entries = qm_test::two_namespace_entries();
  qm_test::write_archive_fixture(dir / "two.qma", entries, true);
  qm_test::write_archive_fixture(dir / "cells.qma", in_namespace(entries, "eor/cell"), false);

  auto chosen = run_tool({"unpack", "two.qma", "portal", "--namespace", "eor/portal"}, dir.path());
  ASSERT_EQ(chosen.status, 0) << chosen.err;
  EXPECT_EQ(chosen.out, "Unpacked 3 entries (4033 bytes) into \"portal\"\n");
  EXPECT_EQ(names_in(dir / "portal"), (std::set<std::string>{"00000005.1", "0E00000E.E", "70000001.FFFFFF00"}));

  for (const std::vector<std::string>& extra : {std::vector<std::string>{}, {"--namespace", "eor/cell"}}) {
    TempDir d;
    qm_test::write_archive_fixture(d / "cells.qma", in_namespace(entries, "eor/cell"), false);
    std::vector<std::string> args = {"unpack", "cells.qma", "out"};
    args.insert(args.end(), extra.begin(), extra.end());
    auto r = run_tool(args, d.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Unpacked 3 entries (1064 bytes) into \"out\"\n");
    EXPECT_EQ(names_in(d / "out"), (std::set<std::string>{"00000005.FE", "1234FFFF.FE", "3A5FFFFE.FF"}));
  }
}

TEST(UnpackQma, FolderNamesReplaceSeparatorsAndStayInsideTheTarget) {
  TempDir dir;
  qm_test::write_archive_fixture(dir / "odd.qma",
                                 {{"..", 1, 2, 0, {'a'}}, {"a:b\\c", 1, 2, 0, {'b'}}, {"x/y", 1, 2, 0, {'c'}}}, false);
  auto r = run_tool({"unpack", "odd.qma", "out"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(files_under(dir / "out"), (std::map<std::string, Bytes>{
                                          {"__/00000001.2", {'a'}}, {"a_b_c/00000001.2", {'b'}}, {"x_y/00000001.2", {'c'}}}));
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"odd.qma", "out"}));

  // Two labels that become the same folder would mix their entries: refused before writing.
  qm_test::write_archive_fixture(dir / "clash.qma", {{"a/b", 1, 2, 0, {'a'}}, {"a_b", 1, 2, 0, {'b'}}}, false);
  auto clash = run_tool({"unpack", "clash.qma", "c"}, dir.path());
  EXPECT_EQ(clash.status, 1);
  EXPECT_EQ(clash.out, "");
  EXPECT_EQ(clash.err, "Error: Two namespaces of \"clash.qma\" unpack into the same folder \"c/a_b\"\n");
  EXPECT_FALSE(fs::exists(dir / "c"));
}

TEST(UnpackErrors, OpeningAndNamespaceFailuresWriteNothing) {
  TempDir dir;
  qm_test::write_archive_fixture(dir / "two.qma", qm_test::two_namespace_entries(), false);
  qm_test::write_file(dir / "bad.qma", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e', '!', '!',
                                         '!', '!', '!', '!', '!', '!', '!', '!'});
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"unpack", "missing", "out"}, "Error: Could not open provider for \"missing\". Expected .qma or .dat\n"},
      {{"unpack", "bad.qma", "out"}, "Error: Invalid magic for format: QMA\n"},
      {{"unpack", "two.qma", "out", "--namespace", "eor/none"}, "Error: Namespace eor/none not found in \"two.qma\"\n"},
      {{"unpack", "two.qma", "out", "--namespace", ""}, "Error: Invalid namespace: namespace label cannot be empty\n"},
  };
  for (const auto& c : cases) {
    auto r = run_tool(c.args, dir.path());
    EXPECT_EQ(r.status, 1) << c.args[1];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    EXPECT_FALSE(fs::exists(dir / "out")) << c.args[1];
  }

  qm_test::write_file(dir / "taken", {'x'});
  auto r = run_tool({"unpack", "two.qma", "taken/sub"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: Failed to create directory \"taken/sub\"\n\nCaused by:\n    " +
                       quillmere_dat::IoError::from_errno(ENOTDIR).message + "\n");
}

TEST(UnpackErrors, ADamagedEntryStopsTheRunAndNamesTheEntry) {
  TempDir dir;
  // DAT: the second entry's chain links to a block far past the end of the file.
  qm_test::write_broken_chain_dat(dir / "broken.dat");
  auto r = run_tool({"unpack", "broken.dat", "out"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Failed to read entry 01000002\n\nCaused by:\n    0: IO error: failed to fill whole buffer\n"
                   "    1: failed to fill whole buffer\n");
  EXPECT_EQ(names_in(dir / "out"), std::set<std::string>{"01000001.1"});  // written before it, whole

  // Archive: an index that is not sorted, or names an ID twice, would let one file replace another.
  struct Case {
    std::vector<std::uint32_t> ids;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{1, 3, 2}, "Error: Index of \"a.qma\" is not sorted: eor/portal:00000002 follows 00000003\n"},
      {{1, 3, 3}, "Error: Duplicate namespaced file eor/portal:00000003 detected\n"},
  };
  for (const auto& c : cases) {
    TempDir d;
    qm_test::QmaArchiveBuilder q;
    for (auto id : c.ids) q.add("eor/portal", id, 6, qm_test::noise(5, id));
    qm_test::write_file(d / "a.qma", q.build());
    auto u = run_tool({"unpack", "a.qma", "out"}, d.path());
    EXPECT_EQ(u.status, 1);
    EXPECT_EQ(u.err, c.err);
    EXPECT_EQ(names_in(d / "out"), (std::set<std::string>{"00000001.6", "00000003.6"}));
  }
}

TEST(UnpackErrors, AFileThatCannotBeWrittenStopsTheRunAndLeavesNoPartOfIt) {
  TempDir dir;
  qm_test::write_dat_fixture(dir / "portal.dat", qm_test::portal_fixture_entries(), 1024, 1);
  // The tool may not grow a file past 512 bytes: the third entry (2500 bytes) cannot be written.
  const std::string script = "trap '' XFSZ; ulimit -f 1; cd \"$1\" && exec \"$2\" unpack portal.dat out";
  auto r = qm_test::run_program({"sh", "-c", script, "sh", dir.path().string(), fs::absolute(qm_test::tool_path()).string()});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Failed to write \"out/06000010.6\"\n\nCaused by:\n    " +
                       quillmere_dat::IoError::from_errno(EFBIG).message + "\n");
  EXPECT_EQ(names_in(dir / "out"), (std::set<std::string>{"01000001.1", "01000002.1"}));
}

TEST(UnpackUsage, MissingOrUnknownArgumentsAreUsageErrors) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"unpack"}, {"unpack", "portal.dat"},
                                               {"unpack", "a.dat", "out", "--bogus"}, {"unpack", "a.dat", "out", "--namespace"},
                                               {"unpack", "a.dat", "out", "extra"}}) {
    auto r = run_tool(args);
    EXPECT_EQ(r.status, 2) << args.size();
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
  }
  auto help = run_tool({"help", "unpack"});
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"PATH", "OUTDIR", "NAMESPACE", "Path to the DAT or QMA file"})
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

TEST(UnpackUsage, HelpListsTheNewCommandsAfterTheOthers) {
  auto r = run_tool({"--help"});
  EXPECT_EQ(r.status, 0);
  const auto pack = r.out.find("  qma-pack ");
  const auto unpack = r.out.find("  unpack ");
  const auto verify = r.out.find("  verify ");
  ASSERT_NE(pack, std::string::npos);
  ASSERT_NE(unpack, std::string::npos);
  ASSERT_NE(verify, std::string::npos);
  EXPECT_LT(pack, unpack);
  EXPECT_LT(unpack, verify);
}

}  // namespace
