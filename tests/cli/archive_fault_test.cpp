// Archives: interrupted packs, offsets beyond 4 GiB, and archives that reading never changes.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "qma_builder.hpp"
#include "run_tool.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using qm_test::run_tool;
using qm_test::TempDir;
using Bytes = std::vector<std::uint8_t>;

bool has_temp_file(const fs::path& dir) {
  for (auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".tmp") return true;
  return false;
}

TEST(ArchiveFaults, InterruptedPackRemovesItsTemporaryFile) {
  for (int sig : {SIGINT, SIGTERM}) {
    TempDir dir;
    fs::create_directory(dir / "in");
    std::mt19937 rng(static_cast<unsigned>(sig));
    for (std::uint32_t i = 0; i < 24; ++i) {
      Bytes noise(2 << 20);
      for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
      qm_test::write_file(dir / "in" / (std::to_string(i + 1) + ".6"), noise);
    }
    qm_test::write_file(dir / "out.qma", Bytes{1, 2, 3});
    const std::string exe = fs::absolute(qm_test::tool_path()).string();
    const std::string in = (dir / "in").string(), out = (dir / "out.qma").string();
    std::vector<char*> argv = {const_cast<char*>(exe.c_str()), const_cast<char*>("qma-pack"),
                               const_cast<char*>(in.c_str()), const_cast<char*>(out.c_str()),
                               const_cast<char*>("-c"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Signal it while the archive is being written, that is once its temporary file exists.
    bool seen = false;
    for (int spin = 0; spin < 20000 && !seen; ++spin) {
      seen = has_temp_file(dir.path());
      if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    ASSERT_TRUE(seen) << "the pack finished before it could be interrupted";
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) GTEST_SKIP() << "the pack finished before the signal arrived";
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_FALSE(has_temp_file(dir.path()));
    EXPECT_EQ(qm_test::read_file(dir / "out.qma"), (Bytes{1, 2, 3}));
  }
}

// A sparse archive whose payload and index lie past 4 GiB.
TEST(ArchiveFaults, OffsetsBeyondFourGiBAreReadExactly) {
  TempDir dir;
  const fs::path path = dir / "far.qma";
  const std::uint64_t payload_at = 0x140000000ull;  // 5 GiB
  const Bytes payload = {'f', 'a', 'r', ' ', 'a', 'w', 'a', 'y'};
  qm_test::QmaSpanRecord span{qm_test::ns_bytes("eor/portal"), 0, 1};
  qm_test::QmaRecord rec;
  rec.ns = span.ns;
  rec.file_id = 0x06000001;
  rec.type_id = 6;
  rec.offset = payload_at;
  rec.size = rec.comp_size = static_cast<std::uint32_t>(payload.size());
  Bytes tail = payload;
  Bytes meta;
  qm_test::put_u32(meta, 1);
  auto span_bytes = qm_test::encode_span(span);
  meta.insert(meta.end(), span_bytes.begin(), span_bytes.end());
  tail.insert(tail.end(), meta.begin(), meta.end());
  auto rec_bytes = qm_test::encode_record(rec);
  tail.insert(tail.end(), rec_bytes.begin(), rec_bytes.end());
  const std::uint64_t index_offset = payload_at + payload.size() + meta.size();
  auto header = qm_test::encode_header({0x51, 0x4D, 0x41, 0}, 2, 1, index_offset, static_cast<std::uint32_t>(meta.size()));
  qm_test::write_file(path, header);
  FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fseeko(f, static_cast<off_t>(payload_at), SEEK_SET), 0);
  ASSERT_EQ(std::fwrite(tail.data(), 1, tail.size(), f), tail.size());
  std::fclose(f);

  auto list = run_tool({"list", "far.qma"}, dir.path());
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "eor/portal:06000001 - Texture (DDS/JPG) (0x00000006) - Size: 8          - Offset: 140000000 - Flags: 00\n");
  auto meta_out = run_tool({"meta", "far.qma"}, dir.path());
  EXPECT_NE(meta_out.out.find("Index Offs:  0x140000034\n"), std::string::npos) << meta_out.out;
  ASSERT_EQ(run_tool({"export", "far.qma", "0x06000001", "-o", "p.bin"}, dir.path()).status, 0);
  EXPECT_EQ(qm_test::read_file(dir / "p.bin"), payload);
}

TEST(ArchiveFaults, ReadingCommandsNeverModifyTheArchive) {
  TempDir dir;
  qm_test::QmaArchiveBuilder b;
  b.add("eor/portal", 0x0E00000E, 0x0E, Bytes(40, 1));
  b.add("eor/portal", 0x0E000003, 0x0E, Bytes(12, 2));
  b.add("eor/portal", 0x0600002A, 6, Bytes(100, 3));
  const fs::path path = dir / "a.qma";
  qm_test::write_file(path, b.build());
  EXPECT_EQ(qm_test::changes_after_runs(path, {
           {"meta", "a.qma"}, {"list", "a.qma"}, {"info", "a.qma", "0x0600002A"},
           {"export", "a.qma", "0x0600002A", "-o", "x.bin"}, {"extract", "a.qma", "0x0600002A"},
           {"weenie", "a.qma", "0x0E000003"}, {"weenie-find", "a.qma", "5"}, {"landblock", "a.qma", "1"},
           {"spell-export", "a.qma"}}, dir.path()), "");
}

}  // namespace
