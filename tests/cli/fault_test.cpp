// Failed and interrupted writes, closed output, and inputs that must never change.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "dat_builder.hpp"
#include "run_program.hpp"
#include "run_tool.hpp"

namespace {

namespace fs = std::filesystem;
using qm_test::run_program;
using qm_test::run_tool;
using qm_test::TempDir;
using Bytes = std::vector<std::uint8_t>;

std::string sh_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}
std::string tool() { return sh_quote(fs::absolute(qm_test::tool_path()).string()); }

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

fs::path big_fixture(const TempDir& dir) {
  qm_test::DatBuilder b(1024, 1);
  for (std::uint32_t i = 0; i < 3000; ++i) b.add(0x01000000 + i, Bytes(40, static_cast<std::uint8_t>(i)));
  b.add(0x06000001, Bytes(200000, 0x66));
  b.write(dir / "big.dat");
  return dir / "big.dat";
}

TEST(Faults, WriteThatFailsPartWayLeavesNothingBehind) {
  TempDir dir;
  big_fixture(dir);
  qm_test::write_file(dir / "keep.bin", Bytes(10, 1));
  for (const char* cmd : {"export big.dat 0x06000001 -o out.bin", "extract big.dat 0x06000001 -o out.bin",
                          "export big.dat 0x06000001 -o keep.bin"}) {
    // 64 KiB at most per file: the 200,000-byte payload cannot be written whole.
    auto r = run_program({"sh", "-c", "cd " + sh_quote(dir.path()) + " && ulimit -f 128 && exec " + tool() + " " + cmd});
    EXPECT_EQ(r.status, 1) << cmd;
    EXPECT_NE(r.err.find("Error: File too large"), std::string::npos) << r.err;
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"big.dat", "keep.bin"})) << cmd;
  }
  EXPECT_EQ(qm_test::read_file(dir / "keep.bin"), Bytes(10, 1));
}

TEST(Faults, OutputPathThatIsAFolderOrUnwritable) {
  TempDir dir;
  big_fixture(dir);
  fs::create_directory(dir / "sub");
  auto r = run_tool({"export", "big.dat", "0x01000001", "-o", "sub"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: Is a directory\n");
  EXPECT_TRUE(fs::is_empty(dir / "sub"));

  // Without write permission on the folder (as an unprivileged user even when tests run as root).
  fs::create_directory(dir / "ro");
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(dir / "big.dat", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                  fs::perms::others_exec);
  std::string prefix = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  auto denied = run_program({"sh", "-c", "cd " + sh_quote(dir.path()) + " && exec " + prefix + tool() +
                                             " export big.dat 0x01000001 -o ro/x.bin"});
  EXPECT_EQ(denied.status, 1);
  EXPECT_EQ(denied.err, "Error: Permission denied\n");
  EXPECT_TRUE(fs::is_empty(dir / "ro"));
}

TEST(Faults, ClosedStandardOutputEndsAListingQuietly) {
  TempDir dir;
  big_fixture(dir);
  auto r = run_program({"sh", "-c", tool() + " list " + sh_quote((dir / "big.dat").string()) + " | head -1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "01000000 - Model (OBJ)               - Size: 40         - Offset: 00000400 - Flags: 00000000\n");
  EXPECT_EQ(r.err, "");
}

TEST(Faults, ReadingCommandsNeverModifyTheDatabase) {
  TempDir dir;
  const auto path = big_fixture(dir);
  EXPECT_EQ(qm_test::changes_after_runs(path, {
           {"meta", "big.dat"}, {"list", "big.dat"}, {"info", "big.dat", "0x06000001"},
           {"export", "big.dat", "0x06000001", "-o", "x.bin"}, {"extract", "big.dat", "0x06000001"},
           {"weenie", "big.dat", "0x01000001"}, {"weenie-find", "big.dat", "5"}, {"landblock", "big.dat", "1"},
           {"spell-export", "big.dat"}}, dir.path()), "");
}

// A sparse file whose chain runs across 2^32: blocks near the top of the 32-bit range.
TEST(Faults, BlocksNearTheTopOf32BitOffsetsAreReadExactly) {
  TempDir dir;
  qm_test::DatBuilder b(1024, 1);
  b.root(0xFFFFF000u);
  Bytes head = b.build();
  const fs::path path = dir / "sparse.dat";
  qm_test::write_file(path, head);
  auto put = [&](std::uint64_t at, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fseeko(f, static_cast<off_t>(at), SEEK_SET), 0);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
  };
  // The root node: two blocks, the second's link at 2^32 - 4, its data just past 2^32.
  std::array<std::uint32_t, 62> no_branches{};
  quillmere_dat::DatFileEntry e;
  e.id = 0x06000001;
  e.offset = 0xFFFFF800u;
  e.size = 1500;
  Bytes node = qm_test::DatBuilder::node_bytes(no_branches, {e});
  Bytes first(1024);
  qm_test::put_u32(first, 0, 0xFFFFFFFCu);
  std::copy(node.begin(), node.begin() + 1020, first.begin() + 4);
  put(0xFFFFF000u, first);
  Bytes second(4 + 696);
  std::copy(node.begin() + 1020, node.end(), second.begin() + 4);
  put(0xFFFFFFFCu, second);
  // The payload: one block whose link is 0, its bytes running on contiguously.
  Bytes payload(4 + 1500);
  for (std::size_t i = 0; i < 1500; ++i) payload[4 + i] = static_cast<std::uint8_t>(i * 13);
  put(0xFFFFF800u, payload);
  auto r = run_tool({"info", "sparse.dat", "0x06000001"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "File ID: 06000001\nType:    Texture (DDS/JPG)\nSize:    1500\nOffset:  FFFFF800\nFlags:   00000000\n");
  EXPECT_GT(fs::file_size(path), 0x100000000ull);
  ASSERT_EQ(run_tool({"export", "sparse.dat", "0x06000001", "-o", "p.bin"}, dir.path()).status, 0);
  EXPECT_EQ(qm_test::read_file(dir / "p.bin"), Bytes(payload.begin() + 4, payload.end()));
}

}  // namespace
