#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "qma_builder.hpp"
#include "quillmere_dat/io_error.hpp"
#include "run_program.hpp"
#include "run_tool.hpp"

namespace {

namespace fs = std::filesystem;
using qm_test::ns_bytes;
using qm_test::parse_qma;
using qm_test::run_tool;
using Bytes = std::vector<unsigned char>;

const std::string kFirst = "Packing files from \"in\" into \"out.qma\"\n";
std::string skip_line(const std::string& name) {
  return "Skipping " + name + " (expected format: [ID].[TYPE] in hex)\n";
}
std::string success(int count, const std::string& output = "out.qma") {
  return fmt::format("Successfully packed {} files into \"{}\"\n", count, output);
}
std::string os_error(int err) { return quillmere_dat::IoError::from_errno(err).message; }

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<unsigned char>(rng());
  return b;
}

// The directory's entry names in the order the operating system lists them.
std::vector<std::string> listing_order(const fs::path& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(d);
  return names;
}

std::set<std::string> names_in(const fs::path& dir) {
  auto v = listing_order(dir);
  return {v.begin(), v.end()};
}

Bytes stored(const Bytes& archive, const qm_test::QmaRecord& r) {
  return Bytes(archive.begin() + static_cast<std::ptrdiff_t>(r.offset),
               archive.begin() + static_cast<std::ptrdiff_t>(r.offset + r.comp_size));
}

class QmaPack : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(dir / "in"); }
  void put(const std::string& name, const Bytes& bytes) { qm_test::write_file(dir / "in" / name, bytes); }
  qm_test::ToolRun pack(std::vector<std::string> extra = {}, const std::string& output = "out.qma") {
    std::vector<std::string> args = {"qma-pack", "in", output};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_tool(args, dir.path());
  }
  Bytes archive(const std::string& output = "out.qma") { return qm_test::read_file(dir / output); }
  qm_test::TempDir dir;
};

TEST(QmaPackNames, FileNamesGiveIdAndTypeInHex) {
  struct Case {
    std::string name;
    std::uint32_t id, type;
  };
  const std::vector<Case> cases = {
      {"1A.6", 0x1A, 6}, {"7f.B", 0x7F, 0xB}, {"+1A.6", 0x1A, 6}, {"0001A.6", 0x1A, 6},
      {"ffffffff.+FFFFFFFF", 0xFFFFFFFF, 0xFFFFFFFF}, {"00000000000.0", 0, 0},
  };
  for (const auto& c : cases) {
    qm_test::TempDir dir;
    fs::create_directory(dir / "in");
    qm_test::write_file(dir / "in" / c.name, text("payload of " + c.name));
    auto r = run_tool({"qma-pack", "in", "out.qma"}, dir.path());
    EXPECT_EQ(r.status, 0) << c.name << r.err;
    EXPECT_EQ(r.out, kFirst + success(1)) << c.name;
    EXPECT_EQ(r.err, "");
    const auto bytes = qm_test::read_file(dir / "out.qma");
    const auto p = parse_qma(bytes);
    ASSERT_EQ(p.records.size(), 1u) << c.name;
    EXPECT_EQ(p.records[0].file_id, c.id) << c.name;
    EXPECT_EQ(p.records[0].type_id, c.type) << c.name;
    EXPECT_EQ(p.records[0].ns, ns_bytes("eor/portal"));
    EXPECT_EQ(p.records[0].flags, 0);
    EXPECT_EQ(stored(bytes, p.records[0]), text("payload of " + c.name));
  }
}

TEST(QmaPackNames, NamespaceFollowsTheOutputName) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"cell_data.qma", "eor/cell"}, {"CELL.qma", "eor/cell"},      {"sub/MyCells.v2.qma", "eor/cell"},
      {".cell", "eor/cell"},         {"portal.qma", "eor/portal"},  {"out.qma", "eor/portal"},
      {"out.cell", "eor/portal"},    {"sub/../cel.l", "eor/portal"},
  };
  for (const auto& [output, label] : cases) {
    qm_test::TempDir dir;
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "sub");
    qm_test::write_file(dir / "in" / "5.6", text("x"));
    auto r = run_tool({"qma-pack", "in", output}, dir.path());
    ASSERT_EQ(r.status, 0) << output << r.err;
    EXPECT_EQ(r.out, "Packing files from \"in\" into \"" + output + "\"\n" + success(1, output));
    const auto p = parse_qma(qm_test::read_file(dir / output));
    ASSERT_EQ(p.spans.size(), 1u);
    EXPECT_EQ(p.spans[0].ns, ns_bytes(label)) << output;
  }
}

TEST_F(QmaPack, PathsArePrintedInQuotedDebugForm) {
  fs::create_directory(dir / "in \"x\"");
  qm_test::write_file(dir / "in \"x\"" / "1.2", text("a"));
  auto r = run_tool({"qma-pack", "in \"x\"", "a\\b.qma"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Packing files from \"in \\\"x\\\"\" into \"a\\\\b.qma\"\n"
                   "Successfully packed 1 files into \"a\\\\b.qma\"\n");
}

TEST_F(QmaPack, SkipsNamesWithoutExactlyOneDotInListingOrder) {
  put("1A", text("no dot"));
  put("a.b.c", text("two dots"));
  put("...", text("dots only"));
  put("10.6", text("kept"));
  put("2.7", text("kept too"));
  put("\xFF.6", text("name not UTF-8: counts as the empty name"));
  std::string expected = kFirst;
  for (const auto& name : listing_order(dir / "in")) {
    if (name == "10.6" || name == "2.7") continue;
    expected += skip_line(name == "\xFF.6" ? "" : name);
  }
  expected += success(2);
  auto r = pack();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
  const auto p = parse_qma(archive());
  ASSERT_EQ(p.records.size(), 2u);
  EXPECT_EQ(p.records[0].file_id, 2u);  // sorted by ID, not by listing
  EXPECT_EQ(p.records[1].file_id, 0x10u);
}

TEST_F(QmaPack, OnlyRegularFilesCountFollowingLinks) {
  put("2.6", text("plain"));
  fs::create_directory(dir / "in" / "1B.6");  // a directory with a good name
  qm_test::write_file(dir / "in" / "1B.6" / "1C.6", text("not entered"));
  fs::create_directory(dir / "in" / "weird name");
  qm_test::write_file(dir / "target", text("through a link"));
  fs::create_symlink(dir / "target", dir / "in" / "3.6");
  fs::create_directory_symlink(dir / "in" / "1B.6", dir / "in" / "4.6");
  fs::create_symlink(dir / "missing", dir / "in" / "5.6");
  auto r = pack();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kFirst + success(2));
  const auto bytes = archive();
  const auto p = parse_qma(bytes);
  ASSERT_EQ(p.records.size(), 2u);
  EXPECT_EQ(p.records[1].file_id, 3u);
  EXPECT_EQ(stored(bytes, p.records[1]), text("through a link"));
}

TEST_F(QmaPack, EmptyOrAllSkippedGivesTheEmptyArchive) {
  auto r = pack();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kFirst + success(0));
  const Bytes empty = {'Q', 'M', 'A', 0, 2, 0, 0, 0, 0, 0, 0, 0, 28, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(archive(), empty);

  put("README", text("skipped"));
  r = pack();
  EXPECT_EQ(r.out, kFirst + skip_line("README") + success(0));
  EXPECT_EQ(archive(), empty);
}

TEST_F(QmaPack, CompressionOnlyWithTheFlagAndOnlyWhenShorter) {
  put("1.6", Bytes(5000, 'z'));
  put("2.6", random_bytes(3000, 4));
  put("3.6", Bytes{});
  for (const auto& flag : {std::vector<std::string>{}, {"-c"}, {"--compress"}}) {
    auto r = pack(flag);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto p = parse_qma(archive());
    ASSERT_EQ(p.records.size(), 3u);
    const bool on = !flag.empty();
    EXPECT_EQ(p.records[0].flags, on ? 1 : 0);
    EXPECT_EQ(p.records[0].size, 5000u);
    EXPECT_EQ(on, p.records[0].comp_size < 5000u);
    EXPECT_EQ(p.records[1].flags, 0);
    EXPECT_EQ(p.records[1].comp_size, 3000u);
    EXPECT_EQ(p.records[2].flags, 0);
    EXPECT_EQ(p.records[2].comp_size, 0u);
  }
  // The compressed archive passes the independent checks, and the tool reads it back.
  auto check = qm_test::run_program({"python3", (fs::path(QM_SOURCE_DIR) / "tests/py/check_qma.py").string(), "--written",
                                     "--zstd", "zstd", (dir / "out.qma").string()});
  EXPECT_EQ(check.out, "ok\n") << check.err;
  auto exported = run_tool({"export", "out.qma", "1", "-o", "one.bin"}, dir.path());
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(qm_test::read_file(dir / "one.bin"), Bytes(5000, 'z'));
}

TEST_F(QmaPack, BadNamesStopTheCommand) {
  struct Case {
    std::vector<std::string> files;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"1A.bin"}, "Error: Invalid hex Type ID in filename: 1A.bin\n\nCaused by:\n    invalid digit found in string\n"},
      {{".hidden"}, "Error: Invalid hex ID in filename: .hidden\n\nCaused by:\n    cannot parse integer from empty string\n"},
      {{"123456789.6"},
       "Error: Invalid hex ID in filename: 123456789.6\n\nCaused by:\n    number too large to fit in target type\n"},
      {{"1.100000000"},
       "Error: Invalid hex Type ID in filename: 1.100000000\n\nCaused by:\n    number too large to fit in target type\n"},
      {{"1A."}, "Error: Invalid hex Type ID in filename: 1A.\n\nCaused by:\n    cannot parse integer from empty string\n"},
      {{"+.6"}, "Error: Invalid hex ID in filename: +.6\n\nCaused by:\n    invalid digit found in string\n"},
      {{"-1.6"}, "Error: Invalid hex ID in filename: -1.6\n\nCaused by:\n    invalid digit found in string\n"},
      {{"1A.6", "001a.7"}, "Error: Duplicate namespaced file eor/portal:0000001A detected\n"},
  };
  for (const auto& c : cases) {
    qm_test::TempDir d;
    fs::create_directory(d / "in");
    for (const auto& f : c.files) qm_test::write_file(d / "in" / f, text(f));
    auto r = run_tool({"qma-pack", "in", "out.qma"}, d.path());
    EXPECT_EQ(r.status, 1) << c.files[0];
    EXPECT_EQ(r.out, kFirst) << c.files[0];
    EXPECT_EQ(r.err, c.err);
    EXPECT_FALSE(fs::exists(d / "out.qma")) << c.files[0];
    EXPECT_EQ(names_in(d.path()), std::set<std::string>{"in"});
  }
}

TEST_F(QmaPack, UnreadableInputDirectory) {
  auto r = run_tool({"qma-pack", "missing", "out.qma"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Packing files from \"missing\" into \"out.qma\"\n");
  EXPECT_EQ(r.err, "Error: Failed to read input directory\n\nCaused by:\n    " + os_error(ENOENT) + "\n");
  qm_test::write_file(dir / "afile", text("x"));
  r = run_tool({"qma-pack", "afile", "out.qma"}, dir.path());
  EXPECT_EQ(r.err, "Error: Failed to read input directory\n\nCaused by:\n    " + os_error(ENOTDIR) + "\n");
  EXPECT_FALSE(fs::exists(dir / "out.qma"));
}

TEST_F(QmaPack, UnwritableOutputReportsTheChain) {
  put("1.6", text("x"));
  fs::create_directory(dir / "taken");
  auto r = pack({}, "taken");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Packing files from \"in\" into \"taken\"\n");
  EXPECT_EQ(r.err, "Error: Failed to write QMA file\n\nCaused by:\n    0: IO error: " + os_error(EISDIR) + "\n    1: " +
                       os_error(EISDIR) + "\n");
  r = pack({}, "nowhere/out.qma");
  EXPECT_EQ(r.err, "Error: Failed to write QMA file\n\nCaused by:\n    0: IO error: " + os_error(ENOENT) + "\n    1: " +
                       os_error(ENOENT) + "\n");
}

TEST_F(QmaPack, FailureLeavesAnExistingOutputAndNoTemporaryFile) {
  const Bytes precious = text("an archive from an earlier run\n");
  qm_test::write_file(dir / "out.qma", precious);
  put("1.6", random_bytes(8192, 1));

  // The writing itself fails: the tool may not grow a file past 512 bytes.
  const std::string script = "trap '' XFSZ; ulimit -f 1; cd \"$1\" && exec \"$2\" qma-pack in out.qma";
  auto r = qm_test::run_program({"sh", "-c", script, "sh", dir.path().string(), fs::absolute(qm_test::tool_path()).string()});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(r.out, kFirst);
  EXPECT_EQ(r.err, "Error: Failed to write QMA file\n\nCaused by:\n    0: IO error: " + os_error(EFBIG) + "\n    1: " +
                       os_error(EFBIG) + "\n");
  EXPECT_EQ(archive(), precious);
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"in", "out.qma"}));

  // Reading the input fails.
  put("1A.bin", text("bad name"));
  r = pack();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(archive(), precious);
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"in", "out.qma"}));

  // Success replaces it.
  fs::remove(dir / "in" / "1A.bin");
  r = pack();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(parse_qma(archive()).records.size(), 1u);
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"in", "out.qma"}));
}

}  // namespace
