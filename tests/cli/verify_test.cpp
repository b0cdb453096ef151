#include <gtest/gtest.h>

#include <fmt/format.h>

#include "archive_entries.hpp"
#include "container_fixtures.hpp"
#include "dat_builder.hpp"
#include "lrs_encoder.hpp"
#include "qma_builder.hpp"
#include "quillmere_dat/lrs.hpp"
#include "run_tool.hpp"

namespace {

namespace fs = std::filesystem;
using qm_test::ns_bytes;
using qm_test::run_tool;
using qm_test::TempDir;
using Bytes = std::vector<std::uint8_t>;

TEST(Verify, CleanContainersPass) {
  TempDir dir;
  qm_test::write_dat_fixture(dir / "portal.dat", qm_test::portal_fixture_entries(), 1024, 1);
  qm_test::write_dat_fixture(dir / "cell.dat", qm_test::cell_fixture_entries(), 256, 2);
  qm_test::write_archive_fixture(dir / "plain.qma", qm_test::two_namespace_entries(), false);
  qm_test::write_archive_fixture(dir / "packed.qma", qm_test::two_namespace_entries(), true);
  qm_test::write_archive_fixture(dir / "empty.qma", {}, true);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"verify", "portal.dat"}, "Verified 9 entries: 0 damaged\n"},
      {{"verify", "cell"}, "Verified 6 entries: 0 damaged\n"},  // found as cell.dat, as by the other commands
      {{"verify", "plain.qma"}, "Verified 6 entries: 0 damaged\n"},
      {{"verify", "packed.qma"}, "Verified 6 entries: 0 damaged\n"},
      {{"verify", "packed.qma", "--namespace", "eor/cell"}, "Verified 3 entries: 0 damaged\n"},
      {{"verify", "empty.qma"}, "Verified 0 entries: 0 damaged\n"},
  };
  for (const auto& [args, out] : cases) {
    auto r = run_tool(args, dir.path());
    EXPECT_EQ(r.status, 0) << args[1] << r.err;
    EXPECT_EQ(r.out, out) << args[1];
    EXPECT_EQ(r.err, "");
  }
}

TEST(Verify, FindsEveryDamagedDatEntryWithoutStopping) {
  TempDir dir;
  qm_test::DatBuilder b(1024, 1);
  const Bytes text = qm_test::prose(500, 3);
  Bytes cut = qm_test::lrs_compress(text);
  cut.resize(cut.size() / 2);
  const Bytes whole = qm_test::lrs_compress(qm_test::prose(800, 4));
  const auto size = [](const Bytes& bytes) { return static_cast<std::uint32_t>(bytes.size()); };
  const std::vector<quillmere_dat::DatFileEntry> entries = {
      {0, 0x01000001, b.put_chain(qm_test::noise(10, 1)), 10, 0, 0},
      {0, 0x01000002, b.put_chain(qm_test::noise(3000, 2)), 3000, 0, 0},  // three blocks
      {1, 0x01000003, b.put_chain(cut), size(cut), 0, 0},                  // stream cut in half
      {1, 0x01000004, b.put_chain(whole), size(whole), 0, 0},
      {0, 0x01000005, 0x7FFFFF00, 20, 0, 0},                               // starts past the end
  };
  b.root(b.put_node({}, entries));
  auto image = b.build();
  // The chain of 01000002 runs off the file at its second block.
  qm_test::put_u32(image, entries[1].offset, 0x00F00000);
  qm_test::write_file(dir / "broken.dat", image);

  const auto produced = quillmere_dat::utils::decompress_lrs(cut).size();
  ASSERT_LT(produced, text.size());
  auto r = run_tool({"verify", "broken.dat"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, fmt::format("01000002: IO error: failed to fill whole buffer\n"
                               "01000003: Compressed data yields {} of its 500 bytes\n"
                               "01000005: IO error: failed to fill whole buffer\n"
                               "Verified 5 entries: 3 damaged\n",
                               produced));
  EXPECT_EQ(r.err, "Error: 3 of 5 entries are damaged\n");
}

// Flips inside the zstd frames of a written archive: the frame magic, the frame header and the
// frame's last byte (the end of its compressed block). zstd rejects each, so verify names the
// entry; a flip inside a stored literal run would go unseen, since the frames carry no checksum.
TEST(Verify, FindsAFlippedByteInsideAZstdFrame) {
  TempDir dir;
  qm_test::write_archive_fixture(dir / "good.qma", qm_test::two_namespace_entries(), true);
  const auto good = qm_test::read_file(dir / "good.qma");
  const auto parsed = qm_test::parse_qma(good);
  const qm_test::QmaRecord* frame = nullptr;
  for (const auto& rec : parsed.records)
    if (rec.file_id == 0x0E00000E) frame = &rec;
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->flags & 1, 1);
  for (const std::uint64_t at : {std::uint64_t{0}, std::uint64_t{4}, std::uint64_t{frame->comp_size} - 1}) {
    auto bytes = good;
    bytes[frame->offset + at] ^= 0xFF;
    qm_test::write_file(dir / "flipped.qma", bytes);
    auto r = run_tool({"verify", "flipped.qma"}, dir.path());
    EXPECT_EQ(r.status, 1) << at;
    EXPECT_EQ(r.out, "eor/portal:0E00000E: Failed to recover compressed file 0E00000E\nVerified 6 entries: 1 damaged\n")
        << at;
    EXPECT_EQ(r.err, "Error: 1 of 6 entries are damaged\n");
  }
}

// An archive broken in every way the reader does not check when opening, each entry once.
std::vector<std::uint8_t> damaged_archive() {
  qm_test::QmaArchiveBuilder q;
  q.add("eor/cell", 1, 0xFE, qm_test::noise(6, 1));
  q.add("eor/cell", 2, 0xFE, qm_test::noise(6, 2), 0, 7);        // size claims one byte more
  q.add("eor/portal", 1, 6, qm_test::noise(5, 3));
  q.add("eor/portal", 6, 6, qm_test::noise(5, 4));
  q.add("eor/portal", 5, 6, qm_test::noise(5, 5));                // out of order
  q.add("eor/portal", 7, 6, qm_test::noise(5, 6));
  q.add("eor/portal", 7, 6, qm_test::noise(5, 7));                // duplicate
  q.add("eor/portal", 8, 6, qm_test::noise(5, 8));
  q.last().offset = 100000;                                       // payload past the end
  q.add("eor/cell", 9, 6, qm_test::noise(5, 9));                  // record of another namespace
  q.add("eor/portal", 10, 6, qm_test::noise(5, 10), 1);           // "compressed", not a zstd frame
  q.add("eor/portal", 11, 6, qm_test::noise(5, 11));
  q.spans = std::vector<qm_test::QmaSpanRecord>{{ns_bytes("eor/cell"), 0, 2}, {ns_bytes("eor/portal"), 2, 9}};
  return q.build();
}

TEST(Verify, FindsEveryDamagedArchiveEntryWithoutStopping) {
  TempDir dir;
  const auto bytes = damaged_archive();
  qm_test::write_file(dir / "bad.qma", bytes);
  auto r = run_tool({"verify", "bad.qma"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, fmt::format(
                       "eor/cell:00000002: size 7 differs from stored size 6\n"
                       "eor/portal:00000005: index record out of order after 00000006\n"
                       "eor/portal:00000007: duplicate index record\n"
                       "eor/portal:00000008: Corruption detected: Entry range out of bounds for 0x00000008: offset "
                       "100000 + comp_size 5 > file_len {}\n"
                       "eor/portal:00000009: index record names namespace eor/cell inside the span of eor/portal; "
                       "index record out of order after 00000008\n"
                       "eor/portal:0000000A: Failed to recover compressed file 0000000A\n"
                       "Verified 11 entries: 6 damaged\n",
                       bytes.size()));
  EXPECT_EQ(r.err, "Error: 6 of 11 entries are damaged\n");

  auto one = run_tool({"verify", "bad.qma", "--namespace", "eor/cell"}, dir.path());
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(one.out, "eor/cell:00000002: size 7 differs from stored size 6\nVerified 2 entries: 1 damaged\n");
  EXPECT_EQ(one.err, "Error: 1 of 2 entries are damaged\n");
}

TEST(Verify, AnInvalidNamespaceFieldIsNamed) {
  TempDir dir;
  qm_test::QmaArchiveBuilder q;
  q.add("eor/portal", 1, 6, qm_test::noise(5, 1));
  q.add("eor/portal", 2, 6, qm_test::noise(5, 2));
  q.last().ns[20] = 'x';  // after the label's terminating zero
  q.spans = std::vector<qm_test::QmaSpanRecord>{{ns_bytes("eor/portal"), 0, 2}};
  qm_test::write_file(dir / "a.qma", q.build());
  auto r = run_tool({"verify", "a.qma"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "eor/portal:00000002: index record names no valid namespace (Invalid namespace: namespace bytes must "
                   "be zero-padded without embedded trailing data)\n"
                   "Verified 2 entries: 1 damaged\n");
}

TEST(Verify, OpeningAndUsageErrors) {
  TempDir dir;
  qm_test::write_archive_fixture(dir / "two.qma", qm_test::two_namespace_entries(), false);
  qm_test::write_file(dir / "short.qma", {'Q', 'M', 'A', 0});
  const std::vector<std::pair<std::vector<std::string>, std::string>> failures = {
      {{"verify", "missing"}, "Error: Could not open provider for \"missing\". Expected .qma or .dat\n"},
      {{"verify", "short.qma"}, "Error: IO error: failed to fill whole buffer\n\nCaused by:\n    failed to fill whole buffer\n"},
      {{"verify", "two.qma", "--namespace", "eor/x"}, "Error: Namespace eor/x not found in \"two.qma\"\n"},
  };
  for (const auto& [args, err] : failures) {
    auto r = run_tool(args, dir.path());
    EXPECT_EQ(r.status, 1) << args[1];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, err);
  }
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"verify"}, {"verify", "a.qma", "b.qma"}, {"verify", "a.qma", "--fast"}}) {
    auto r = run_tool(args, dir.path());
    EXPECT_EQ(r.status, 2) << args.size();
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
  }
}

}  // namespace
