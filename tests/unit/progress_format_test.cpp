#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "progress.hpp"

namespace {

using dat_tool::format_bytes;
using dat_tool::format_progress;

TEST(ProgressFormat, BytesInBinaryUnitsWithOneDecimal) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0, "0 B"},          {1023, "1023 B"},          {1024, "1.0 KiB"},
      {1536, "1.5 KiB"},   {1048576, "1.0 MiB"},      {5.5 * 1073741824.0, "5.5 GiB"},
      {2.0 * 1099511627776.0 * 1024 * 1024, "2048.0 PiB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(format_bytes(bytes), text) << bytes;
}

TEST(ProgressFormat, LineWithAndWithoutTotalAndRate) {
  EXPECT_EQ(format_progress("verify", 12, 30, 1536, 2.0), "verify: 12/30 entries, 1.5 KiB, 768 B/s");
  EXPECT_EQ(format_progress("qma-pack", 7, std::nullopt, 3 << 20, 0.5), "qma-pack: 7 entries, 3.0 MiB, 6.0 MiB/s");
  EXPECT_EQ(format_progress("unpack", 0, 9, 0, 0.0), "unpack: 0/9 entries, 0 B");
}

std::string contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string s;
  for (int c; (c = std::fgetc(f)) != EOF;) s.push_back(static_cast<char>(c));
  return s;
}

TEST(Progress, ShowsAFirstLineAtOnceAndClearsItOnce) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    dat_tool::Progress p("unpack", 3, true, f);
    p.advance(10);
    p.advance(20);
    p.finish();
    p.advance(5);  // after finish: nothing more is drawn
  }
  EXPECT_EQ(contents(f), "\r\x1b[Kunpack: 0/3 entries, 0 B\r\x1b[K");
  std::fclose(f);
}

TEST(Progress, StatusReplacesTheCountersAndTheDestructorClears) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    dat_tool::Progress p("qma-pack", std::nullopt, true, f);
    p.status("writing 2 files");
  }
  EXPECT_EQ(contents(f), "\r\x1b[Kqma-pack: 0 entries, 0 B\r\x1b[Kqma-pack: writing 2 files\r\x1b[K");
  std::fclose(f);
}

TEST(Progress, DisabledWritesNothing) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  {
    dat_tool::Progress p("verify", 100, false, f);
    for (int i = 0; i < 100; ++i) p.advance(1 << 20);
    p.status("never shown");
  }
  EXPECT_EQ(contents(f), "");
  std::fclose(f);
}

}  // namespace
