#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <zstd.h>

#include "qma_builder.hpp"
#include "quillmere_dat/archive/reader.hpp"
#include "quillmere_dat/archive/writer.hpp"
#include "run_program.hpp"
#include "run_tool.hpp"

namespace {

using quillmere_dat::DatError;
using quillmere_dat::archive::QmaReader;
using quillmere_dat::archive::QmaStreamWriter;
using quillmere_dat::archive::QmaWriter;
using quillmere_dat::utils::File;
using qm_test::ns_bytes;
using qm_test::parse_qma;
using Bytes = std::vector<std::uint8_t>;

Bytes random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

Bytes repeated(std::size_t n, std::uint8_t v = 'r') { return Bytes(n, v); }

File create_file(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path.string());
  return File(fd);
}

Bytes stored_bytes(const Bytes& archive, const qm_test::QmaRecord& r) {
  return Bytes(archive.begin() + static_cast<std::ptrdiff_t>(r.offset),
               archive.begin() + static_cast<std::ptrdiff_t>(r.offset + r.comp_size));
}

// The frame length of the payload compressed the way the writers do it (level 3, streamed).
std::size_t streamed_frame_length(const Bytes& payload) {
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, 3);
  Bytes out(ZSTD_compressBound(payload.size()) + 64);
  ZSTD_outBuffer ob{out.data(), out.size(), 0};
  ZSTD_inBuffer ib{payload.data(), payload.size(), 0};
  while (ib.pos < ib.size) ZSTD_compressStream(cctx, &ob, &ib);
  while (ZSTD_endStream(cctx, &ob) != 0) {
  }
  ZSTD_freeCCtx(cctx);
  return ob.pos;
}

class QmaWriterTest : public ::testing::Test {
 protected:
  qm_test::TempDir dir;
  std::filesystem::path path(const std::string& name = "out.qma") { return dir / name; }
};

TEST_F(QmaWriterTest, EmptyWriterMakesThe28ByteArchive) {
  QmaWriter w = QmaWriter::create();
  ASSERT_TRUE(w.write(path()));
  const Bytes expected = {'Q', 'M', 'A', 0, 2, 0, 0, 0, 0, 0, 0, 0, 28, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(qm_test::read_file(path()), expected);
  auto r = QmaReader::open(path());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->entry_count(), 0u);
}

TEST_F(QmaWriterTest, SortsEntriesAndLaysPayloadsOutInIndexOrder) {
  QmaWriter w;
  w.set_compress(false);
  ASSERT_TRUE(w.add("B", 2, 20, {'b', '2'}));
  ASSERT_TRUE(w.add("A", 9, 90, {'a', '9', '9'}));
  ASSERT_TRUE(w.add("A", 1, 10, {'a'}));
  ASSERT_TRUE(w.write(path()));
  EXPECT_EQ(w.entry_count(), 0u);  // consumed

  const auto bytes = qm_test::read_file(path());
  const auto p = parse_qma(bytes);
  ASSERT_EQ(p.records.size(), 3u);
  const std::vector<std::pair<std::string, std::uint32_t>> order = {{"A", 1}, {"A", 9}, {"B", 2}};
  std::uint64_t offset = 24;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(p.records[i].ns, ns_bytes(order[i].first));
    EXPECT_EQ(p.records[i].file_id, order[i].second);
    EXPECT_EQ(p.records[i].type_id, order[i].second * 10);
    EXPECT_EQ(p.records[i].offset, offset);  // payloads back to back, in index order
    offset += p.records[i].comp_size;
  }
  EXPECT_EQ(stored_bytes(bytes, p.records[1]), (Bytes{'a', '9', '9'}));
  ASSERT_EQ(p.spans.size(), 2u);
  EXPECT_EQ(p.spans[0].ns, ns_bytes("A"));
  EXPECT_EQ(p.spans[0].start_index, 0u);
  EXPECT_EQ(p.spans[0].entry_count, 2u);
  EXPECT_EQ(p.spans[1].ns, ns_bytes("B"));
  EXPECT_EQ(p.spans[1].start_index, 2u);
  EXPECT_EQ(p.spans[1].entry_count, 1u);
  EXPECT_EQ(p.metadata_size, 84u);
  EXPECT_EQ(p.index_offset, offset + 84);
  EXPECT_EQ(bytes.size(), p.index_offset + 3 * 60);
}

TEST_F(QmaWriterTest, DuplicateKeepsTheFirstAndSameIdUnderTwoLabelsIsFine) {
  QmaWriter w;
  ASSERT_TRUE(w.add("eor/portal", 0x1A, 6, {'f', 'i', 'r', 's', 't'}));
  auto dup = w.add("eor/portal", 0x1A, 7, {'s', 'e', 'c'});
  ASSERT_FALSE(dup);
  EXPECT_EQ(dup.error().kind(), DatError::Kind::DuplicateNamespacedId);
  EXPECT_EQ(dup.error().message(), "Duplicate namespaced file eor/portal:0000001A detected");
  ASSERT_TRUE(w.add("eor/cell", 0x1A, 8, {'c'}));
  EXPECT_EQ(w.entry_count(), 2u);
  ASSERT_TRUE(w.write(path()));

  auto r = QmaReader::open(path());
  ASSERT_TRUE(r);
  ASSERT_EQ(r->spans().size(), 2u);
  EXPECT_EQ(r->spans()[0].ns.as_str(), "eor/cell");  // byte-wise label order
  EXPECT_EQ(r->spans()[1].ns.as_str(), "eor/portal");
  auto portal = r->find_entry_with_namespace_id(r->spans()[1].ns, 0x1A).value();
  EXPECT_EQ(portal.type_id, 6u);
  EXPECT_EQ(r->read_entry_data(portal).value(), (Bytes{'f', 'i', 'r', 's', 't'}));
}

TEST_F(QmaWriterTest, InvalidLabelChangesNothing) {
  QmaWriter w;
  for (std::string label : {std::string(), std::string(33, 'x'), std::string("a\0b", 3)}) {
    auto r = w.add(label, 1, 1, {1});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind(), DatError::Kind::InvalidNamespace);
  }
  EXPECT_EQ(w.entry_count(), 0u);
  ASSERT_TRUE(w.write(path()));
  EXPECT_EQ(qm_test::read_file(path()).size(), 28u);
}

TEST_F(QmaWriterTest, CompressesOnlyWhenStrictlyShorter) {
  QmaWriter w;  // compression on by default
  EXPECT_TRUE(w.compress());
  const Bytes incompressible = random_bytes(4000, 1);
  const Bytes runs = repeated(4000);
  ASSERT_TRUE(w.add("eor/portal", 1, 0, {}));
  ASSERT_TRUE(w.add("eor/portal", 2, 0, incompressible));
  ASSERT_TRUE(w.add("eor/portal", 3, 0, runs));
  ASSERT_TRUE(w.add("eor/portal", 4, 0, {'x'}));
  ASSERT_TRUE(w.add_pruned("eor/portal", 5, 0, runs));
  ASSERT_TRUE(w.write(path()));

  const auto p = parse_qma(qm_test::read_file(path()));
  ASSERT_EQ(p.records.size(), 5u);
  for (std::size_t i : {0u, 1u, 3u}) {
    EXPECT_EQ(p.records[i].flags, 0) << i;
    EXPECT_EQ(p.records[i].size, p.records[i].comp_size) << i;
  }
  EXPECT_EQ(p.records[2].flags, 0x01);
  EXPECT_LT(p.records[2].comp_size, p.records[2].size);
  EXPECT_EQ(p.records[4].flags, 0x05);
  for (const auto& rec : p.records) {
    EXPECT_EQ(rec.storage_id, 0);
    EXPECT_EQ(rec.reserved, 0);
  }

  auto r = QmaReader::open(path());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->read_entry_data(r->find_entry(3).value()).value(), runs);
  EXPECT_EQ(r->read_entry_data(r->find_entry(2).value()).value(), incompressible);
  EXPECT_TRUE(r->read_entry_data(r->find_entry(1).value()).value().empty());
}

TEST_F(QmaWriterTest, FrameOfExactlyThePayloadLengthIsNotStored) {
  // Random bytes followed by a growing run of zeros: somewhere the frame length crosses the
  // payload length. Find a payload whose frame is one byte shorter and one whose frame is as long.
  const Bytes head = random_bytes(300, 7);
  std::optional<Bytes> one_shorter, same_length;
  for (std::size_t zeros = 0; zeros < 400 && !(one_shorter && same_length); ++zeros) {
    Bytes p = head;
    p.resize(head.size() + zeros, 0);
    const std::size_t frame = streamed_frame_length(p);
    if (frame + 1 == p.size() && !one_shorter) one_shorter = p;
    if (frame == p.size() && !same_length) same_length = p;
  }
  ASSERT_TRUE(one_shorter && same_length) << "no boundary payload found";
  QmaWriter w;
  ASSERT_TRUE(w.add("eor/portal", 1, 0, *one_shorter));
  ASSERT_TRUE(w.add("eor/portal", 2, 0, *same_length));
  ASSERT_TRUE(w.write(path()));
  const auto p = parse_qma(qm_test::read_file(path()));
  EXPECT_EQ(p.records[0].flags, 0x01);
  EXPECT_EQ(p.records[0].comp_size + 1, p.records[0].size);
  EXPECT_EQ(p.records[1].flags, 0x00);
  EXPECT_EQ(p.records[1].comp_size, p.records[1].size);
  auto r = QmaReader::open(path());
  EXPECT_EQ(r->read_entry_data(r->find_entry(1).value()).value(), *one_shorter);
}

TEST_F(QmaWriterTest, CompressionOffStoresEverythingPlain) {
  QmaWriter w;
  w.set_compress(false);
  ASSERT_TRUE(w.add("eor/portal", 1, 0, repeated(5000)));
  ASSERT_TRUE(w.add_pruned("eor/portal", 2, 0, repeated(5000)));
  ASSERT_TRUE(w.write(path()));
  const auto p = parse_qma(qm_test::read_file(path()));
  EXPECT_EQ(p.records[0].flags, 0x00);
  EXPECT_EQ(p.records[1].flags, 0x04);
  for (const auto& rec : p.records) EXPECT_EQ(rec.size, rec.comp_size);
}

TEST_F(QmaWriterTest, StreamWriterKeepsAddOrderForPayloadsButSortsTheIndex) {
  auto s = QmaStreamWriter::create(create_file(path()), false);
  ASSERT_TRUE(s);
  ASSERT_TRUE(s->add("A", 9, 0, Bytes{'n', 'i', 'n', 'e'}));
  ASSERT_TRUE(s->add("A", 1, 0, Bytes{'o', 'n', 'e'}));
  auto dup = s->add_pruned("A", 9, 0, Bytes{'x'});
  ASSERT_FALSE(dup);
  EXPECT_EQ(dup.error().message(), "Duplicate namespaced file A:00000009 detected");
  ASSERT_TRUE(s->finish());
  EXPECT_EQ(s->add("A", 2, 0, Bytes{}).error().message(), "Other error: QMA stream writer is already finished");

  const auto bytes = qm_test::read_file(path());
  const auto p = parse_qma(bytes);
  ASSERT_EQ(p.records.size(), 2u);
  EXPECT_EQ(p.records[0].file_id, 1u);
  EXPECT_EQ(p.records[0].offset, 28u);  // written second
  EXPECT_EQ(p.records[1].file_id, 9u);
  EXPECT_EQ(p.records[1].offset, 24u);
  EXPECT_EQ(stored_bytes(bytes, p.records[1]), (Bytes{'n', 'i', 'n', 'e'}));
  EXPECT_TRUE(QmaReader::open(path()));
}

TEST_F(QmaWriterTest, UnfinishedStreamLeavesThePlaceholderHeader) {
  {
    auto s = QmaStreamWriter::create(create_file(path()), true);
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->add("eor/portal", 1, 0, repeated(100)));
  }
  const auto bytes = qm_test::read_file(path());
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 24), qm_test::encode_header({'Q', 'M', 'A', 0}, 2, 0, 0, 0));
  auto r = QmaReader::open(path());
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().message(), "Corruption detected: QMA metadata offset 0 is within header area");
}

TEST_F(QmaWriterTest, WriteFailuresAreReported) {
  // Creating the file.
  QmaWriter w;
  ASSERT_TRUE(w.add("eor/portal", 1, 0, {1}));
  auto missing = w.write(dir / "no-such-folder" / "out.qma");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().kind(), DatError::Kind::Io);
  EXPECT_EQ(missing.error().message(), "IO error: " + quillmere_dat::IoError::from_errno(ENOENT).message);
  EXPECT_EQ(w.entry_count(), 0u);  // consumed even so

  // The placeholder header is a fixed record: its failure is a record error around the I/O one.
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  auto s = QmaStreamWriter::create(File(full), false);
  ASSERT_FALSE(s);
  EXPECT_EQ(s.error().kind(), DatError::Kind::BinRead);
  EXPECT_EQ(s.error().message(), "Binary read error: " + quillmere_dat::IoError::from_errno(ENOSPC).message);

  // A file without a position (a pipe) fails when an entry's offset is taken.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  auto piped = QmaStreamWriter::create(File(fds[1]), false);
  ASSERT_TRUE(piped);
  auto add = piped->add("eor/portal", 1, 0, Bytes{1});
  ASSERT_FALSE(add);
  EXPECT_EQ(add.error().message(), "IO error: " + quillmere_dat::IoError::from_errno(ESPIPE).message);
  ::close(fds[0]);
}

TEST_F(QmaWriterTest, RefusesWhatTheIndexCannotDescribe) {
  // A 4 GiB payload, mapped but never touched: the writer must refuse it before reading it.
  const std::size_t four_gib = std::size_t{1} << 32;
  void* map = ::mmap(nullptr, four_gib, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  const std::span<const std::uint8_t> huge(static_cast<const std::uint8_t*>(map), four_gib);
  {
    auto s = QmaStreamWriter::create(create_file(path()), true);
    ASSERT_TRUE(s);
    auto r = s->add("eor/portal", 0x10, 0, huge);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(),
              "Other error: Payload of eor/portal:00000010 is 4294967296 bytes; QMA entries must be smaller than 4 GiB");
    EXPECT_EQ(std::filesystem::file_size(path()), 24u);  // nothing written
    EXPECT_TRUE(s->add("eor/portal", 0x10, 0, Bytes{1}));  // and the ID was not taken
    ASSERT_TRUE(s->finish());
  }
  ::munmap(map, four_gib);

  for (int round = 0; round < 2; ++round) {
    quillmere_dat::archive::QmaWriteOptions options;
    options.entry_limit = 2;
    if (round == 0) {
      auto s = QmaStreamWriter::create(create_file(path()), options);
      ASSERT_TRUE(s->add("a", 1, 0, Bytes{}));
      ASSERT_TRUE(s->add("b", 1, 0, Bytes{}));
      EXPECT_EQ(s->add("c", 1, 0, Bytes{}).error().message(), "Other error: QMA archives hold at most 2 entries");
      ASSERT_TRUE(s->finish());
      EXPECT_EQ(QmaReader::open(path()).value().entry_count(), 2u);
    } else {
      QmaWriter w;
      w.set_entry_limit(2);
      ASSERT_TRUE(w.add("a", 1, 0, {}));
      ASSERT_TRUE(w.add("a", 2, 0, {}));
      EXPECT_EQ(w.add("a", 3, 0, {}).error().message(), "Other error: QMA archives hold at most 2 entries");
      EXPECT_EQ(w.add("a", 2, 0, {}).error().kind(), DatError::Kind::DuplicateNamespacedId);
      EXPECT_EQ(w.entry_count(), 2u);
    }
  }
}

// ---- independent checks of written archives ----

std::filesystem::path checker() { return std::filesystem::path(QM_SOURCE_DIR) / "tests/py/check_qma.py"; }

qm_test::ToolRun check_archive(const std::filesystem::path& archive, bool written = true) {
  std::vector<std::string> args = {"python3", checker().string(), "--zstd", "zstd"};
  if (written) args.push_back("--written");
  args.push_back(archive.string());
  return qm_test::run_program(args);
}

// Archives of several shapes, written by both writers.
std::vector<std::filesystem::path> sample_archives(const qm_test::TempDir& dir) {
  std::vector<std::filesystem::path> out;
  auto next = [&] {
    out.push_back(dir / fmt::format("sample{}.qma", out.size()));
    return out.back();
  };
  {
    QmaWriter w;
    EXPECT_TRUE(w.write(next()));
  }
  for (bool compress : {false, true}) {
    QmaWriter w;
    w.set_compress(compress);
    for (std::uint32_t i = 0; i < 40; ++i) {
      const std::string label = i % 3 == 0 ? "eor/cell" : i % 3 == 1 ? "eor/portal" : std::string(32, 'n');
      Bytes payload = i % 2 ? random_bytes(i * 37, i) : repeated(i * 101, static_cast<std::uint8_t>(i));
      auto r = i % 5 == 0 ? w.add_pruned(label, 1000 - i * 7, i, payload) : w.add(label, 1000 - i * 7, i, payload);
      EXPECT_TRUE(r);
    }
    EXPECT_TRUE(w.write(next()));
  }
  {
    auto s = QmaStreamWriter::create(create_file(next()), true);
    for (std::uint32_t id : {50u, 3u, 0xFFFFFFFFu, 0u, 17u}) EXPECT_TRUE(s->add("B", id, id, repeated(200 + id % 100)));
    for (std::uint32_t id : {9u, 2u}) EXPECT_TRUE(s->add_pruned("A", id, id, random_bytes(64, id)));
    EXPECT_TRUE(s->finish());
  }
  return out;
}

TEST_F(QmaWriterTest, IndependentCheckerAcceptsWhatTheWritersMake) {
  ASSERT_TRUE(qm_test::have_program("python3"));
  ASSERT_TRUE(qm_test::have_program("zstd"));
  for (const auto& archive : sample_archives(dir)) {
    auto run = check_archive(archive);
    EXPECT_EQ(run.status, 0) << archive << "\n" << run.out << run.err;
    EXPECT_EQ(run.out, "ok\n") << archive;
    EXPECT_TRUE(QmaReader::open(archive)) << archive;
  }
}

TEST_F(QmaWriterTest, IndependentCheckerCatchesBrokenArchives) {
  ASSERT_TRUE(qm_test::have_program("python3"));
  struct Case {
    std::string name;
    qm_test::QmaArchiveBuilder b;
    std::string expect;  // a fragment of the report
  };
  std::vector<Case> cases;
  auto base = [] {
    qm_test::QmaArchiveBuilder b;
    b.add("A", 1, 0, {1});
    b.add("A", 2, 0, {2});
    b.add("B", 1, 0, {3});
    return b;
  };
  {
    auto b = base();
    b.records()[1].file_id = 1;
    cases.push_back({"duplicate", b, "invariant 8"});
  }
  {
    auto b = base();
    b.records()[0].offset = 1000;
    cases.push_back({"payload outside", b, "invariant 9"});
  }
  {
    auto b = base();
    b.spans = std::vector<qm_test::QmaSpanRecord>{{ns_bytes("A"), 0, 3}};
    cases.push_back({"span hides a namespace", b, "invariant 8"});
  }
  {
    auto b = base();
    b.records()[2].flags = 1;  // one byte claimed to be a frame
    cases.push_back({"not a frame", b, "invariant 10"});
  }
  {
    auto b = base();
    b.version = 3;
    cases.push_back({"version", b, "invariant 1"});
  }
  {
    auto b = base();
    b.spans = std::vector<qm_test::QmaSpanRecord>{{ns_bytes("B"), 0, 2}, {ns_bytes("A"), 2, 1}};
    cases.push_back({"spans out of order", b, "invariant 6"});
  }
  {
    auto b = base();
    b.records()[0].size = 5;
    cases.push_back({"written plain entry with size != comp_size", b, "invariant 10"});
  }
  for (auto& c : cases) {
    const auto file = dir / (c.name + ".qma");
    qm_test::write_file(file, c.b.build());
    auto run = check_archive(file);
    EXPECT_EQ(run.status, 1) << c.name << "\n" << run.out << run.err;
    EXPECT_NE(run.out.find(c.expect), std::string::npos) << c.name << "\n" << run.out;
  }
}

TEST_F(QmaWriterTest, ZstdCommandDecompressesEveryStoredFrame) {
  ASSERT_TRUE(qm_test::have_program("zstd"));
  QmaWriter w;
  std::map<std::uint32_t, Bytes> originals;
  for (std::uint32_t i = 0; i < 12; ++i) {
    Bytes payload = repeated(1 + i * 997, static_cast<std::uint8_t>('a' + i));
    if (i % 3 == 0) {  // mixed content that still compresses
      auto noise = random_bytes(500, i);
      payload.insert(payload.end(), noise.begin(), noise.end());
    }
    originals[i] = payload;
    ASSERT_TRUE(w.add("eor/portal", i, 0, payload));
  }
  ASSERT_TRUE(w.write(path()));
  const auto bytes = qm_test::read_file(path());
  const auto p = parse_qma(bytes);
  int compressed = 0;
  for (const auto& rec : p.records) {
    if (!(rec.flags & 1)) continue;
    ++compressed;
    const auto frame = stored_bytes(bytes, rec);
    auto run = qm_test::run_program({"zstd", "-d", "-c", "-q"}, std::string(frame.begin(), frame.end()));
    ASSERT_EQ(run.status, 0) << rec.file_id << run.err;
    EXPECT_TRUE(Bytes(run.out.begin(), run.out.end()) == originals.at(rec.file_id)) << rec.file_id;
  }
  EXPECT_GE(compressed, 10);
}

}  // namespace
