// Progress lines appear only on a terminal: run under `script`, which gives the tool a pty.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "container_fixtures.hpp"
#include "dat_builder.hpp"
#include "run_program.hpp"
#include "run_tool.hpp"

namespace {

namespace fs = std::filesystem;
using qm_test::run_tool;
using qm_test::TempDir;

constexpr std::string_view kClear = "\r\x1b[K";

std::string quote(const fs::path& p) { return "'" + p.string() + "'"; }

// Runs the tool on a pty; what the terminal received, with the pty's CR LF turned back into LF.
qm_test::ToolRun on_terminal(const TempDir& dir, const std::vector<std::string>& args) {
  std::string command = "cd " + quote(dir.path()) + " && " + quote(fs::absolute(qm_test::tool_path()));
  for (const auto& a : args) command += " " + quote(a);
  auto r = qm_test::run_program({"script", "-qfec", command, "/dev/null"});
  std::string out;
  for (std::size_t i = 0; i < r.out.size(); ++i) {
    if (r.out[i] == '\r' && i + 1 < r.out.size() && r.out[i + 1] == '\n') continue;
    out.push_back(r.out[i]);
  }
  r.out = out;
  return r;
}

// The frames drawn before the report: every one starts with the clear sequence and the label,
// and the last clear comes right before the report.
void expect_progress_then(const std::string& out, const std::string& label, const std::string& first_frame,
                          const std::string& report) {
  ASSERT_TRUE(out.starts_with(std::string(kClear) + first_frame)) << out;
  ASSERT_TRUE(out.ends_with(std::string(kClear) + report)) << out;
  const std::string frames = out.substr(0, out.size() - report.size() - kClear.size());
  for (std::size_t at = 0; at < frames.size();) {
    ASSERT_EQ(frames.compare(at, kClear.size(), kClear), 0) << frames;
    at += kClear.size();
    const auto next = frames.find(kClear, at);
    EXPECT_TRUE(frames.substr(at, next - at).starts_with(label + ": ")) << frames;
    at = next == std::string::npos ? frames.size() : next;
  }
}

class ProgressOnTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qm_test::have_program("script")) GTEST_SKIP() << "script (util-linux) is not installed";
    qm_test::write_dat_fixture(dir / "portal.dat", qm_test::portal_fixture_entries(), 1024, 1);
  }
  TempDir dir;
};

TEST_F(ProgressOnTerminal, EachWholeContainerCommandShowsAndClearsItsLine) {
  struct Case {
    std::vector<std::string> args;
    std::string label, first_frame, report;
  };
  const std::vector<Case> cases = {
      {{"verify", "portal.dat"}, "verify", "verify: 0/9 entries, 0 B", "Verified 9 entries: 0 damaged\n"},
      {{"unpack", "portal.dat", "files"}, "unpack", "unpack: 0/9 entries, 0 B",
       "Unpacked 9 entries (4215 bytes) into \"files\"\n"},
      {{"qma-pack", "portal.dat", "direct.qma"}, "qma-pack", "qma-pack: 0/9 entries, 0 B",
       "Packing files from \"portal.dat\" into \"direct.qma\"\nSuccessfully packed 9 files into \"direct.qma\"\n"},
      {{"qma-pack", "files", "folder.qma"}, "qma-pack", "qma-pack: 0 entries, 0 B",
       "Packing files from \"files\" into \"folder.qma\"\nSuccessfully packed 9 files into \"folder.qma\"\n"},
  };
  for (const auto& c : cases) {
    auto r = on_terminal(dir, c.args);
    EXPECT_EQ(r.status, 0) << c.args[0] << r.err;
    expect_progress_then(r.out, c.label, c.first_frame, c.report);
  }
  // The folder pack says when it has gone on to writing.
  auto r = on_terminal(dir, {"qma-pack", "files", "again.qma"});
  EXPECT_NE(r.out.find(std::string(kClear) + "qma-pack: writing 9 files" + std::string(kClear)), std::string::npos) << r.out;
}

TEST_F(ProgressOnTerminal, TheLineIsGoneBeforeTheReportOfAFailure) {
  // One entry's chain runs off the file: verify reports it after clearing its line.
  qm_test::DatBuilder b(1024, 1);
  b.add(0x01000001, qm_test::noise(10, 1));
  b.add_stored(0x01000002, qm_test::noise(3000, 2), 0, 3000);
  auto image = b.build();
  qm_test::put_u32(image, b.entries()[1].offset, 0x00F00000);
  qm_test::write_file(dir / "broken.dat", image);
  auto r = on_terminal(dir, {"verify", "broken.dat"});
  EXPECT_EQ(r.status, 1);
  expect_progress_then(r.out, "verify", "verify: 0/2 entries, 0 B",
                       "01000002: IO error: failed to fill whole buffer\nVerified 2 entries: 1 damaged\n"
                       "Error: 1 of 2 entries are damaged\n");

  // A failure before the walk starts shows no progress line at all.
  qm_test::write_archive_fixture(dir / "two.qma", qm_test::two_namespace_entries(), true);
  auto missing = on_terminal(dir, {"verify", "two.qma", "--namespace", "eor/none"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "Error: Namespace eor/none not found in \"two.qma\"\n");
}

TEST_F(ProgressOnTerminal, NothingOnStandardErrorWithoutATerminal) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"verify", "portal.dat"}, {"unpack", "portal.dat", "files"},
        {"qma-pack", "portal.dat", "direct.qma"}, {"qma-pack", "-c", "files", "folder.qma"}}) {
    auto r = run_tool(args, dir.path());
    EXPECT_EQ(r.status, 0) << args[0];
    EXPECT_EQ(r.err, "") << args[0];
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  }
}

}  // namespace
