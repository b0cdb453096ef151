#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include <zstd.h>

#include "qma_builder.hpp"
#include "quillmere_dat/archive/reader.hpp"
#include "quillmere_dat/archive/records.hpp"
#include "run_tool.hpp"

namespace {

using quillmere_dat::ByteCursor;
using quillmere_dat::DatError;
using quillmere_dat::archive::QmaEntry;
using quillmere_dat::archive::QmaHeader;
using quillmere_dat::archive::QmaNamespaceIndexEntry;
using quillmere_dat::archive::QmaReader;
using quillmere_dat::archive::ResourceNamespace;
using qm_test::QmaArchiveBuilder;
using qm_test::QmaSpanRecord;
using Bytes = std::vector<std::uint8_t>;

constexpr std::array<std::uint8_t, 4> kMagic{0x51, 0x4D, 0x41, 0x00};

quillmere_dat::DatResult<QmaReader> open_bytes(const Bytes& bytes) {
  static int n = 0;
  static qm_test::TempDir dir;
  const auto path = dir / ("a" + std::to_string(n++) + ".qma");
  qm_test::write_file(path, bytes);
  auto reader = QmaReader::open(path);
  std::filesystem::remove(path);  // an open reader keeps its file; nothing piles up
  return reader;
}

std::string open_error(const Bytes& bytes) {
  auto r = open_bytes(bytes);
  return r ? std::string("opened") : r.error().message();
}

ResourceNamespace ns(std::string_view label) { return ResourceNamespace::create(label).value(); }

Bytes filled(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

// One zstd frame; with `content_size` false the header leaves the length out, as a stream does.
Bytes zstd_frame(const Bytes& payload, bool content_size) {
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  Bytes out(ZSTD_compressBound(payload.size()) + 64);
  ZSTD_outBuffer ob{out.data(), out.size(), 0};
  ZSTD_inBuffer ib{payload.data(), payload.size(), 0};
  if (content_size) ZSTD_CCtx_setPledgedSrcSize(cctx, payload.size());
  while (ib.pos < ib.size) ZSTD_compressStream(cctx, &ob, &ib);
  while (ZSTD_endStream(cctx, &ob) != 0) {
  }
  ZSTD_freeCCtx(cctx);
  out.resize(ob.pos);
  return out;
}

// ---- record codecs ----

TEST(QmaRecords, EncodeAndDecodeInFieldOrder) {
  QmaEntry e;
  e.namespace_bytes = qm_test::ns_bytes("eor/cell");
  e.file_id = 0x01020304;
  e.type_id = 0x0A0B0C0D;
  e.offset = 0x1122334455667788ull;
  e.size = 99;
  e.comp_size = 77;
  e.flags = 0x05;
  e.storage_id = 0xEE;
  e.reserved = 0xBEEF;
  Bytes encoded;
  e.write(encoded);
  qm_test::QmaRecord r{e.namespace_bytes, e.file_id, e.type_id, e.offset, e.size, e.comp_size, e.flags, e.storage_id,
                       e.reserved};
  EXPECT_EQ(encoded, qm_test::encode_record(r));
  ASSERT_EQ(encoded.size(), QmaEntry::kSize);
  ByteCursor c(encoded);
  auto back = QmaEntry::read(c);
  ASSERT_TRUE(back);
  EXPECT_EQ(qm_test::encode_record({back->namespace_bytes, back->file_id, back->type_id, back->offset, back->size,
                                    back->comp_size, back->flags, back->storage_id, back->reserved}),
            encoded);
  EXPECT_TRUE(back->is_compressed());
  EXPECT_TRUE(back->is_pruned());

  QmaHeader h;
  h.entry_count = 3;
  h.index_offset = 0x0102030405060708ull;
  h.metadata_size = 44;
  Bytes hb;
  h.write(hb);
  EXPECT_EQ(hb, qm_test::encode_header(kMagic, 2, 3, h.index_offset, 44));

  QmaNamespaceIndexEntry s{qm_test::ns_bytes("a"), 5, 6};
  Bytes sb;
  s.write(sb);
  EXPECT_EQ(sb, qm_test::encode_span({qm_test::ns_bytes("a"), 5, 6}));
  ByteCursor sc(sb);
  auto sback = QmaNamespaceIndexEntry::read(sc);
  ASSERT_TRUE(sback);
  EXPECT_EQ(sback->start_index, 5u);
  EXPECT_EQ(sback->entry_count, 6u);
}

TEST(QmaRecords, ShortInputNamesTheFieldAndRewinds) {
  struct Case {
    std::size_t have;
    int record;  // 0 header, 1 entry, 2 span
    std::string frame;
  };
  const std::vector<Case> cases = {
      {0, 0, "While parsing field 'magic' in QmaHeader"},
      {10, 0, "While parsing field 'entry_count' in QmaHeader"},
      {23, 0, "While parsing field 'metadata_size' in QmaHeader"},
      {31, 1, "While parsing field 'namespace' in QmaEntry"},
      {33, 1, "While parsing field 'file_id' in QmaEntry"},
      {59, 1, "While parsing field 'reserved' in QmaEntry"},
      {39, 2, "While parsing field 'entry_count' in QmaNamespaceIndexEntry"},
  };
  for (const auto& c : cases) {
    const Bytes data(c.have + 3, 0);
    const std::span<const std::uint8_t> view(data);
    ByteCursor cursor(view, 3);  // starts mid-buffer: a failure must come back to 3, not 0
    quillmere_dat::ReadError err;
    if (c.record == 0) err = QmaHeader::read(cursor).error();
    if (c.record == 1) err = QmaEntry::read(cursor).error();
    if (c.record == 2) err = QmaNamespaceIndexEntry::read(cursor).error();
    EXPECT_EQ(cursor.position(), 3u) << c.frame;
    EXPECT_EQ(err.base_message(), "failed to fill whole buffer");
    ASSERT_EQ(err.frames().size(), 1u);
    EXPECT_EQ(err.frames()[0].message, c.frame);
    EXPECT_NE(err.frames()[0].file.find("libs/dat/src/archive/records.cpp"), std::string::npos);
  }
}

TEST(QmaRecords, EntryNamespaceIsValidatedOnlyOnRequest) {
  QmaEntry e;
  e.namespace_bytes = qm_test::ns_bytes("ab");
  e.namespace_bytes[5] = 'x';
  auto id = e.namespace_id();
  ASSERT_FALSE(id);
  EXPECT_EQ(id.error().message(),
            "Invalid namespace: namespace bytes must be zero-padded without embedded trailing data");
  e.namespace_bytes = qm_test::ns_bytes("eor/portal");
  EXPECT_EQ(e.namespace_id().value().as_str(), "eor/portal");
}

// ---- opening ----

QmaArchiveBuilder two_entries() {
  QmaArchiveBuilder b;
  b.add("eor/portal", 1, 6, {1, 2, 3});
  b.add("eor/portal", 2, 6, {4, 5});
  return b;
}

TEST(QmaReaderOpen, EveryHeaderCheckInOrder) {
  struct Case {
    std::string name;
    Bytes bytes;
    std::string message;
  };
  std::vector<Case> cases;
  cases.push_back({"empty file", {}, "IO error: failed to fill whole buffer"});
  cases.push_back({"23 bytes", Bytes(23, 0), "IO error: failed to fill whole buffer"});
  {
    auto b = two_entries();
    b.magic = std::array<std::uint8_t, 4>{'Q', 'M', 'A', '1'};
    b.version = 1;  // magic is tested first
    cases.push_back({"magic", b.build(), "Invalid magic for format: QMA"});
  }
  {
    auto b = two_entries();
    b.version = 1;
    cases.push_back({"version", b.build(), "Unsupported version: 1"});
  }
  // 24 bytes of header only: the count is refused before the file length matters.
  cases.push_back({"count overflow", qm_test::encode_header(kMagic, 2, 71'582'789, 24, 0),
                   "Corruption detected: QMA index size overflow"});
  cases.push_back({"largest count", qm_test::encode_header(kMagic, 2, 71'582'788, 24, 0),
                   "Corruption detected: QMA index extends beyond file size (4294967304 > 24)"});
  cases.push_back({"index range overflow", qm_test::encode_header(kMagic, 2, 1, UINT64_MAX - 30, 0),
                   "Corruption detected: QMA index range overflow"});
  {
    auto b = two_entries();
    auto bytes = b.build();
    bytes.pop_back();  // the index now ends one byte past the file
    cases.push_back({"index past end", bytes,
                     fmt::format("Corruption detected: QMA index extends beyond file size ({} > {})", bytes.size() + 1,
                                 bytes.size())});
  }
  {
    auto bytes = qm_test::encode_header(kMagic, 2, 0, 28, 29);
    bytes.resize(28, 0);
    cases.push_back({"metadata underflow", bytes, "Corruption detected: QMA metadata offset underflow"});
  }
  {
    auto bytes = qm_test::encode_header(kMagic, 2, 0, 27, 4);
    bytes.resize(27, 0);
    cases.push_back({"metadata in header", bytes, "Corruption detected: QMA metadata offset 23 is within header area"});
  }
  cases.push_back({"placeholder header", qm_test::encode_header(kMagic, 2, 0, 0, 0),
                   "Corruption detected: QMA metadata offset 0 is within header area"});
  {
    auto b = two_entries();
    b.omit_metadata = true;
    cases.push_back({"no metadata", b.build(),
                     "Corruption detected: QMA v2 archives with entries must include namespace metadata"});
  }
  for (const auto& c : cases) EXPECT_EQ(open_error(c.bytes), c.message) << c.name;
}

TEST(QmaReaderOpen, EveryMetadataCheckInOrder) {
  const auto A = qm_test::ns_bytes("A");
  const auto B = qm_test::ns_bytes("B");
  struct Case {
    std::string name;
    Bytes bytes;
    std::string message;
  };
  std::vector<Case> cases;
  auto with_spans = [&](std::vector<QmaSpanRecord> spans, std::string name, std::string message) {
    QmaArchiveBuilder b;
    b.add("A", 1, 0, {1});
    b.add("B", 1, 0, {2});
    b.spans = std::move(spans);
    cases.push_back({std::move(name), b.build(), std::move(message)});
  };
  {
    QmaArchiveBuilder b;
    b.metadata = Bytes{2, 0};
    cases.push_back({"2-byte block", b.build(), "Binary read error: failed to fill whole buffer"});
  }
  {
    QmaArchiveBuilder b;
    b.add("A", 1, 0, {1});
    Bytes block;
    qm_test::put_u32(block, 2);
    auto s = qm_test::encode_span({A, 0, 1});
    block.insert(block.end(), s.begin(), s.end());
    b.metadata = block;
    cases.push_back({"size mismatch", b.build(),
                     "Corruption detected: QMA metadata size mismatch: header says 44, metadata contents require 84"});
  }
  {
    QmaArchiveBuilder b;
    Bytes block;
    qm_test::put_u32(block, 0xFFFFFFFF);  // 4 + 40 x N must not wrap
    b.metadata = block;
    cases.push_back({"huge count", b.build(),
                     "Corruption detected: QMA metadata size mismatch: header says 4, metadata contents require "
                     "171798691804"});
  }
  with_spans({{qm_test::ns_bytes(""), 0, 1}, {B, 1, 1}}, "empty namespace",
             "Invalid namespace: namespace label cannot be empty");
  {
    auto bad = A;
    bad[1] = 0xFF;
    with_spans({{A, 0, 1}, {bad, 1, 1}}, "bad utf-8",
               "Invalid namespace: namespace bytes are not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 1");
  }
  with_spans({{A, 0, 1}, {A, 1, 1}}, "same namespace twice", "Corruption detected: QMA namespace metadata is not strictly sorted");
  with_spans({{B, 0, 1}, {A, 1, 1}}, "descending", "Corruption detected: QMA namespace metadata is not strictly sorted");
  with_spans({{A, 1, 1}, {B, 2, 0}}, "first not at 0",
             "Corruption detected: QMA namespace metadata is not contiguous: expected start 0, found 1");
  with_spans({{A, 0, 1}, {B, 2, 0}}, "gap",
             "Corruption detected: QMA namespace metadata is not contiguous: expected start 1, found 2");
  with_spans({{A, 0, 1}, {B, 1, 0xFFFFFFFF}}, "span overflow", "Corruption detected: QMA namespace span overflow");
  with_spans({{A, 0, 1}, {B, 1, 2}}, "past count",
             "Corruption detected: QMA namespace span exceeds total entry count (3 > 2)");
  with_spans({{A, 0, 1}}, "short cover", "Corruption detected: QMA namespace metadata covered 1 entries but header declares 2");
  with_spans({}, "no spans for entries", "Corruption detected: QMA namespace metadata covered 0 entries but header declares 2");
  for (const auto& c : cases) EXPECT_EQ(open_error(c.bytes), c.message) << c.name;
}

TEST(QmaReaderOpen, EmptyArchivesOpenAndFindNothing) {
  QmaArchiveBuilder with_block;  // namespace count 0, what the writers make
  QmaArchiveBuilder without_block;
  without_block.omit_metadata = true;
  for (const auto& bytes : {with_block.build(), without_block.build()}) {
    auto r = open_bytes(bytes);
    ASSERT_TRUE(r) << r.error().message();
    EXPECT_EQ(r->entry_count(), 0u);
    EXPECT_TRUE(r->spans().empty());
    auto found = r->find_entry(5);
    ASSERT_FALSE(found);
    EXPECT_EQ(found.error().message(), "File ID 00000005 not found in provider");
    EXPECT_FALSE(r->find_entry_with_namespace_id(ns("eor/portal"), 5));
  }
  EXPECT_EQ(with_block.build().size(), 28u);
}

TEST(QmaReaderOpen, HeaderFactsAndSpansAreKept) {
  QmaArchiveBuilder b;
  b.add("eor/cell", 3, 1, {9});
  b.add("eor/portal", 3, 2, {8});
  b.add("eor/portal", 4, 2, {7});
  b.trailing = Bytes(5, 0xAA);  // the index need not end the file
  const auto bytes = b.build();
  auto r = open_bytes(bytes);
  ASSERT_TRUE(r) << r.error().message();
  EXPECT_EQ(r->version(), 2u);
  EXPECT_EQ(r->entry_count(), 3u);
  EXPECT_EQ(r->metadata_size(), 84u);
  EXPECT_EQ(r->index_offset(), 24u + 3 + 84);
  EXPECT_EQ(r->file_len(), bytes.size());
  ASSERT_EQ(r->spans().size(), 2u);
  EXPECT_EQ(r->spans()[0].ns.as_str(), "eor/cell");
  EXPECT_EQ(r->spans()[1].start_index, 1u);
  EXPECT_EQ(r->spans()[1].entry_count, 2u);
}

TEST(QmaReaderOpen, MissingFileIsAPathError) {
  auto r = QmaReader::open("/nonexistent-dir/x.qma");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind(), DatError::Kind::PathError);
  EXPECT_EQ(r.error().message(), "Failed to open file at /nonexistent-dir/x.qma: " +
                                     quillmere_dat::IoError::from_errno(ENOENT).message);
}

// ---- lookups ----

TEST(QmaReaderLookup, OneNamespace) {
  QmaArchiveBuilder b;
  for (std::uint32_t id : {2u, 4u, 6u, 8u, 10u, 12u, 14u}) b.add("eor/portal", id, id + 100, {static_cast<std::uint8_t>(id)});
  auto r = open_bytes(b.build());
  ASSERT_TRUE(r);
  for (std::uint32_t id : {2u, 4u, 6u, 8u, 10u, 12u, 14u}) {
    auto e = r->find_entry(id);
    ASSERT_TRUE(e) << id;
    EXPECT_EQ(e->file_id, id);
    EXPECT_EQ(e->type_id, id + 100);
    EXPECT_EQ(r->read_entry_data(*e).value(), Bytes{static_cast<std::uint8_t>(id)});
    EXPECT_TRUE(r->find_entry_with_namespace_id(ns("eor/portal"), id));
  }
  for (std::uint32_t id : {0u, 1u, 3u, 9u, 13u, 15u, 0xFFFFFFFFu}) {
    auto e = r->find_entry(id);
    ASSERT_FALSE(e) << id;
    EXPECT_EQ(e.error().kind(), DatError::Kind::NotFound);
    EXPECT_EQ(e.error().file_id(), id);
  }
  EXPECT_FALSE(r->find_entry_with_namespace_id(ns("eor/cell"), 2));
}

TEST(QmaReaderLookup, SeveralNamespacesNeedAnExplicitOne) {
  QmaArchiveBuilder b;
  b.add("eor/cell", 7, 1, {1});
  b.add("eor/portal", 7, 2, {2});
  auto r = open_bytes(b.build());
  ASSERT_TRUE(r);
  auto any = r->find_entry(7);
  ASSERT_FALSE(any);
  EXPECT_EQ(any.error().message(),
            "Other error: QMA v2 archive contains multiple namespaces; explicit namespace lookup is required");
  EXPECT_EQ(r->find_entry_with_namespace_id(ns("eor/cell"), 7).value().type_id, 1u);
  EXPECT_EQ(r->find_entry_with_namespace_id(ns("eor/portal"), 7).value().type_id, 2u);
  EXPECT_FALSE(r->find_entry_with_namespace_id(ns("eor/other"), 7));
  EXPECT_FALSE(r->find_entry_with_namespace_id(ns("eor/cell"), 8));
}

TEST(QmaReaderLookup, SearchStaysInsideTheSpan) {
  // The record right before span B holds the ID looked for: only a search that strays finds it.
  QmaArchiveBuilder b;
  b.add("A", 5, 1, {1});
  b.add("A", 6, 1, {1});
  b.add("B", 7, 2, {2});
  b.add("B", 9, 2, {2});
  b.add("C", 8, 3, {3});
  auto r = open_bytes(b.build());
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->find_entry_with_namespace_id(ns("B"), 6));
  EXPECT_FALSE(r->find_entry_with_namespace_id(ns("B"), 8));
  EXPECT_FALSE(r->find_entry_with_namespace_id(ns("B"), 10));
  // Below every ID of the first span: no step below position 0.
  EXPECT_FALSE(r->find_entry_with_namespace_id(ns("A"), 1));
  EXPECT_EQ(r->find_entry_with_namespace_id(ns("B"), 9).value().type_id, 2u);
}

TEST(QmaReaderLookup, EmptySpanFindsNothing) {
  QmaArchiveBuilder b;
  b.add("B", 1, 0, {1});
  b.spans = std::vector<QmaSpanRecord>{{qm_test::ns_bytes("A"), 0, 0}, {qm_test::ns_bytes("B"), 0, 1}};
  auto r = open_bytes(b.build());
  ASSERT_TRUE(r) << r.error().message();
  EXPECT_FALSE(r->find_entry_with_namespace_id(ns("A"), 1));
  EXPECT_TRUE(r->find_entry_with_namespace_id(ns("B"), 1));
}

TEST(QmaReaderLookup, SpanDecidesNotTheRecordsOwnNamespace) {
  QmaArchiveBuilder b;
  b.add("eor/portal", 1, 0, {1});
  b.last().ns = qm_test::ns_bytes("other");  // lookups do not look at it
  b.spans = std::vector<QmaSpanRecord>{{qm_test::ns_bytes("eor/portal"), 0, 1}};
  // Record order and namespaces are not checked on opening: the span alone decides.
  auto r = open_bytes(b.build());
  ASSERT_TRUE(r);
  auto e = r->find_entry_with_namespace_id(ns("eor/portal"), 1);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->namespace_id().value().as_str(), "other");
}

TEST(QmaReaderIndex, ReadEntriesMatchesSingleReadsAndRefusesPositionsPastTheCount) {
  QmaArchiveBuilder b;
  for (std::uint32_t id = 0; id < 10; ++id) b.add("eor/portal", id, id * 3, filled(id, 1));
  b.trailing = Bytes(120, 0);  // room for two more records that are not part of the index
  auto r = open_bytes(b.build());
  ASSERT_TRUE(r);
  auto all = r->read_entries(0, 10);
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 10u);
  for (std::uint32_t i = 0; i < 10; ++i) {
    auto one = r->read_entry_at(i);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->file_id, (*all)[i].file_id);
    EXPECT_EQ(one->offset, (*all)[i].offset);
    EXPECT_EQ(one->type_id, i * 3);
  }
  EXPECT_EQ(r->read_entries(3, 4).value().front().file_id, 3u);
  EXPECT_TRUE(r->read_entries(10, 0).value().empty());

  auto past = r->read_entry_at(10);
  ASSERT_FALSE(past);
  EXPECT_EQ(past.error().message(), "Other error: QMA index position 10 is beyond the 10 index records");
  auto far = r->read_entries(8, 3);
  ASSERT_FALSE(far);
  EXPECT_EQ(far.error().message(), "Other error: QMA index positions 8 to 10 are beyond the 10 index records");
  EXPECT_FALSE(r->read_entries(0xFFFFFFFF, 2));
}

// ---- payloads ----

struct DataCase {
  std::string name;
  Bytes stored;
  std::uint8_t flags;
  std::uint32_t size;
  std::string expect;  // "" when the payload is expected back
};

TEST(QmaReaderData, PlainAndCompressedPayloads) {
  const Bytes payload = [] {
    Bytes p(5000);
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>((i / 50) % 7);
    return p;
  }();
  const auto small = filled(100, 3);
  const std::vector<DataCase> cases = {
      {"plain", payload, 0, 5000, ""},
      {"frame without content size", zstd_frame(payload, false), 1, 5000, ""},
      {"frame with content size", zstd_frame(payload, true), 1, 5000, ""},
      {"pruned compressed", zstd_frame(payload, false), 5, 5000, ""},
      {"frame bigger than size", zstd_frame(payload, false), 1, 4999, "Failed to recover compressed file 00000007"},
      {"stated frame bigger than size", zstd_frame(payload, true), 1, 4999, "Failed to recover compressed file 00000007"},
      {"frame smaller than size", zstd_frame(payload, false), 1, 5001,
       "Corruption detected: Decompressed size mismatch for 0x00000007: expected 5001, got 5000"},
      {"stated frame smaller than size", zstd_frame(payload, true), 1, 6000,
       "Corruption detected: Decompressed size mismatch for 0x00000007: expected 6000, got 5000"},
      {"not a frame", small, 1, 100, "Failed to recover compressed file 00000007"},
      {"truncated frame", [&] { auto f = zstd_frame(payload, false); f.pop_back(); return f; }(), 1, 5000,
       "Failed to recover compressed file 00000007"},
      {"empty frame bytes", {}, 1, 0, ""},
      {"empty frame bytes with size", {}, 1, 3,
       "Corruption detected: Decompressed size mismatch for 0x00000007: expected 3, got 0"},
  };
  for (const auto& c : cases) {
    QmaArchiveBuilder b;
    b.add("eor/portal", 7, 6, c.stored, c.flags, c.size);
    auto r = open_bytes(b.build());
    ASSERT_TRUE(r) << c.name;
    auto e = r->find_entry(7);
    ASSERT_TRUE(e) << c.name;
    auto data = r->read_entry_data(*e);
    if (c.expect.empty()) {
      ASSERT_TRUE(data) << c.name << ": " << data.error().message();
      EXPECT_EQ(*data, c.stored.empty() ? Bytes{} : payload) << c.name;
    } else {
      ASSERT_FALSE(data) << c.name;
      EXPECT_EQ(data.error().message(), c.expect) << c.name;
    }
  }
}

TEST(QmaReaderData, UncompressedEntryIgnoresSize) {
  QmaArchiveBuilder b;
  b.add("eor/portal", 1, 6, {1, 2, 3, 4}, 0, 1000);
  b.add("eor/portal", 2, 6, {1, 2, 3, 4}, 0x04, 1);
  auto r = open_bytes(b.build());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->read_entry_data(r->find_entry(1).value()).value(), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(r->read_entry_data(r->find_entry(2).value()).value(), (Bytes{1, 2, 3, 4}));
}

TEST(QmaReaderData, StoredRangeIsChecked) {
  QmaArchiveBuilder b;
  b.add("eor/portal", 0xAB, 6, {1, 2, 3});
  const auto bytes = b.build();
  auto r = open_bytes(bytes);
  ASSERT_TRUE(r);
  auto e = r->find_entry(0xAB).value();

  e.offset = UINT64_MAX - 1;
  e.comp_size = 10;
  EXPECT_EQ(r->read_entry_data(e).error().message(),
            "Corruption detected: Entry offset overflow for 0x000000AB: offset 18446744073709551614 + comp_size 10");
  e.offset = bytes.size() - 2;
  e.comp_size = 3;
  EXPECT_EQ(r->read_entry_data(e).error().message(),
            fmt::format("Corruption detected: Entry range out of bounds for 0x000000AB: offset {} + comp_size 3 > "
                        "file_len {}",
                        bytes.size() - 2, bytes.size()));
  e.offset = bytes.size() - 3;  // ends exactly at the end: fine
  EXPECT_TRUE(r->read_entry_data(e));
}

// A frame whose header claims 4 GiB but whose body holds one 16-byte block.
Bytes lying_frame() {
  Bytes f{0x28, 0xB5, 0x2F, 0xFD, 0xA0, 0xFF, 0xFF, 0xFF, 0xFF};  // single segment, 4-byte content size
  const std::uint32_t block = 1u | (1u << 1) | (16u << 3);            // last, RLE, 16 bytes
  f.push_back(static_cast<std::uint8_t>(block));
  f.push_back(static_cast<std::uint8_t>(block >> 8));
  f.push_back(static_cast<std::uint8_t>(block >> 16));
  f.push_back('z');
  return f;
}

long peak_rss_kib() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Runs in a child process so the peak memory seen is this check's alone.
void expect_small_failure(const Bytes& stored, const std::string& message) {
  EXPECT_EXIT(
      {
        QmaArchiveBuilder b;
        b.add("eor/portal", 9, 6, stored, 0x01, 0xFFFFFFFFu);
        auto r = open_bytes(b.build());
        const long before = peak_rss_kib();
        auto data = r->read_entry_data(r->find_entry(9).value());
        const long grown_kib = peak_rss_kib() - before;
        if (data || data.error().message() != message) std::_Exit(2);
        std::_Exit(grown_kib < 64 * 1024 ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "")
      << message;
}

TEST(QmaReaderData, CorruptFourGibClaimFailsWithoutAllocatingIt) {
  // No content size in the frame: the claim is bounded by what the blocks can produce.
  expect_small_failure(zstd_frame(filled(10, 1), false),
                       "Corruption detected: Decompressed size mismatch for 0x00000009: expected 4294967295, got 10");
  // A correct content size that disagrees with the claim.
  expect_small_failure(zstd_frame(filled(10, 1), true),
                       "Corruption detected: Decompressed size mismatch for 0x00000009: expected 4294967295, got 10");
  // A frame header that agrees with the claim but cannot back it.
  expect_small_failure(lying_frame(), "Failed to recover compressed file 00000009");
  expect_small_failure(filled(64, 9), "Failed to recover compressed file 00000009");
}

TEST(QmaReaderData, LargeFrameWithoutContentSizeGrowsToItsLength) {
  // 20 MiB of a repeating pattern: more than the first attempt's buffer, so the output grows.
  Bytes payload(20u << 20);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i % 251);
  QmaArchiveBuilder b;
  b.add("eor/portal", 1, 6, zstd_frame(payload, false), 1, static_cast<std::uint32_t>(payload.size()));
  b.add("eor/portal", 2, 6, zstd_frame(payload, false), 1, static_cast<std::uint32_t>(payload.size() - 1));
  auto r = open_bytes(b.build());
  ASSERT_TRUE(r);
  auto data = r->read_entry_data(r->find_entry(1).value());
  ASSERT_TRUE(data) << data.error().message();
  EXPECT_TRUE(*data == payload);
  EXPECT_EQ(r->read_entry_data(r->find_entry(2).value()).error().message(), "Failed to recover compressed file 00000002");
}

}  // namespace

namespace {

TEST(QmaReaderRobustness, DamagedArchivesGiveErrorsNotCrashes) {
  QmaArchiveBuilder b;
  Bytes payload(3000);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i / 100);
  b.add("eor/cell", 1, 1, zstd_frame(payload, false), 1, 3000);
  b.add("eor/portal", 2, 2, {1, 2, 3});
  b.add("eor/portal", 9, 2, zstd_frame(payload, true), 1, 3000);
  const Bytes good = b.build();
  std::uint32_t state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u; };
  int opened = 0;
  for (int round = 0; round < 1500; ++round) {
    Bytes bad = good;
    const int flips = 1 + static_cast<int>(next() % 4);
    for (int f = 0; f < flips; ++f) bad[next() % bad.size()] = static_cast<std::uint8_t>(next() >> 16);
    if (round % 10 == 0) bad.resize(next() % bad.size());
    auto r = open_bytes(bad);
    if (!r) continue;
    ++opened;
    for (std::uint32_t i = 0; i < r->entry_count(); ++i) {
      auto e = r->read_entry_at(i);
      if (e) (void)r->read_entry_data(*e);
    }
    for (const auto& span : r->spans())
      for (std::uint32_t id : {0u, 1u, 2u, 9u, 0xFFFFFFFFu}) (void)r->find_entry_with_namespace_id(span.ns, id);
  }
  EXPECT_GT(opened, 100);  // most damage lands in payloads and still opens
}

}  // namespace
