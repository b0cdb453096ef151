#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "quillmere_dat/weenie.hpp"
#include "records_builder.hpp"

namespace {

namespace props = quillmere_common::properties;
using quillmere_dat::ByteCursor;
using quillmere_dat::DatError;
using quillmere_dat::weenie::Weenie;
using quillmere_dat::weenie::WeenieTable;
using qm_test::ByteWriter;
using qm_test::RawWeenie;
using Bytes = std::vector<std::uint8_t>;

void expect_short_read(const DatError& e, const std::string& what) {
  EXPECT_EQ(e.kind(), DatError::Kind::BinRead) << what;
  EXPECT_EQ(e.message(), "Binary read error: failed to fill whole buffer") << what;
  EXPECT_TRUE(e.read_error().frames().empty()) << what;
}

// The 12 header bytes and seven zero counts.
Bytes minimal_record() {
  ByteWriter w;
  w.u32(0x11).u32(0x22).u32(0xDEADBEEF);
  for (int i = 0; i < 7; ++i) w.u16(0);
  return w.take();
}

TEST(Weenie, MinimalRecordAndEveryShorterPrefix) {
  const Bytes rec = minimal_record();
  ASSERT_EQ(rec.size(), 26u);
  auto w = Weenie::unpack(rec);
  ASSERT_TRUE(w) << w.error().message();
  EXPECT_EQ(w->class_id, 0x11u);
  EXPECT_EQ(w->weenie_type, 0x22u);
  EXPECT_EQ(w->properties, props::WorldObjectProperties{});
  EXPECT_FALSE(w->name());
  EXPECT_FALSE(w->icon_id());
  for (std::size_t n = 0; n < rec.size(); ++n) {
    auto cut = Weenie::unpack(std::span(rec).first(n));
    ASSERT_FALSE(cut) << n;
    expect_short_read(cut.error(), "prefix of " + std::to_string(n));
  }
  Bytes longer = rec;
  longer.insert(longer.end(), {1, 2, 3});  // trailing bytes are ignored
  EXPECT_TRUE(Weenie::unpack(longer));
}

TEST(Weenie, EverySectionIsReadWithItsWidth) {
  RawWeenie s;
  s.class_id = 0x0001F00D;
  s.weenie_type = 7;
  s.ints = {{1, -1}, {9015, 2}, {391, 3}};                 // 391 is unknown
  s.int64s = {{8, INT64_MIN}, {9, 1}};                      // 9 is unknown
  s.bools = {{0, 2}, {130, 0}, {131, 1}};                   // any non-zero byte is true
  s.floats = {{0, -0.5}, {8018, 1e300}, {8005, 1.0}};
  s.strings = {{1, "Lamp"}, {8031, "x"}, {8030, "dropped"}};
  s.data_ids = {{8, 0x06001234}, {8044, 5}, {8004, 6}};
  s.instance_ids = {{8000, 0x80000001}, {8008, 1}, {8001, 2}};
  auto w = Weenie::unpack(qm_test::weenie_payload(s));
  ASSERT_TRUE(w) << w.error().message();
  const auto& p = w->properties;
  EXPECT_EQ(w->class_id, 0x0001F00Du);
  EXPECT_EQ(p.ints.size(), 2u);
  EXPECT_EQ(p.ints.at(*props::property_keys::ints::from_repr(1)), -1);
  EXPECT_EQ(p.int64s.size(), 1u);
  EXPECT_EQ(p.int64s.begin()->second, INT64_MIN);
  ASSERT_EQ(p.bools.size(), 2u);
  EXPECT_TRUE(p.bools.at(*props::property_keys::bools::from_repr(0)));
  EXPECT_FALSE(p.bools.at(*props::property_keys::bools::from_repr(130)));
  EXPECT_EQ(p.floats.size(), 2u);
  EXPECT_EQ(p.floats.at(*props::property_keys::floats::from_repr(8018)), 1e300);
  EXPECT_EQ(p.strings.size(), 2u);
  EXPECT_EQ(w->name(), "Lamp");
  EXPECT_EQ(p.data_ids.size(), 2u);
  EXPECT_EQ(w->icon_id(), 0x06001234u);
  EXPECT_EQ(p.instance_ids.size(), 2u);
}

// class_id 1, type 2, four bytes, four empty sections, one string "abc" under key 1: the text
// ends at 31, one padding byte is skipped and the data-ID count is read at 32.
Bytes standalone_alignment_record() {
  ByteWriter w;
  w.u32(1).u32(2).u32(0);
  w.u16(0).u16(0).u16(0).u16(0);
  w.u16(1).u32(1).u16(3).raw("abc");
  EXPECT_EQ(w.size(), 31u);
  w.u8(0xFF);                   // padding: never read
  w.u16(1).u32(8).u32(0x06000042);  // data IDs at 32
  w.u16(0);
  return w.take();
}

TEST(Weenie, StringPaddingAlignsOnThePayloadPosition) {
  auto w = Weenie::unpack(standalone_alignment_record());
  ASSERT_TRUE(w) << w.error().message();
  EXPECT_EQ(w->name(), "abc");
  EXPECT_EQ(w->icon_id(), 0x06000042u);
}

TEST(Weenie, InsideATableTheSameRecordAlignsOnTheTablePosition) {
  // First entry: key at 8, a record of 41 bytes at 12 (three booleans), ending at 53 = 4 * 13 + 1.
  ByteWriter t;
  t.u32(0x0E000001).u16(2).u16(0);
  t.u32(100);
  t.u32(100).u32(1).u32(0).u16(0).u16(0).u16(3);
  for (std::uint32_t k = 1; k <= 3; ++k) t.u32(k).u8(1);
  t.u16(0).u16(0).u16(0).u16(0);
  ASSERT_EQ(t.size(), 53u);
  // Second entry: key at 53, record at 57; the text "abc" ends at 88, already a multiple of 4,
  // so the data-ID count follows directly (standalone, the same record skips one byte here).
  t.u32(200);
  t.u32(1).u32(2).u32(0).u16(0).u16(0).u16(0).u16(0);
  t.u16(1).u32(1).u16(3).raw("abc");
  ASSERT_EQ(t.size(), 88u);
  t.u16(1).u32(8).u32(0x06000042).u16(0);
  const Bytes table = t.take();

  auto decoded = WeenieTable::unpack(table);
  ASSERT_TRUE(decoded) << decoded.error().message();
  ASSERT_EQ(decoded->weenies.size(), 2u);
  const Weenie& second = decoded->weenies.at(200);
  EXPECT_EQ(second.name(), "abc");
  EXPECT_EQ(second.icon_id(), 0x06000042u);
  EXPECT_EQ(decoded->weenies.at(100).properties.bools.size(), 3u);

  // The builder lays the table out the same way.
  RawWeenie first;
  first.class_id = 100;
  first.weenie_type = 1;
  first.bools = {{1, 1}, {2, 1}, {3, 1}};
  RawWeenie abc;
  abc.class_id = 1;
  abc.weenie_type = 2;
  abc.name("abc").icon(0x06000042);
  abc.pad_byte = 0xFF;
  EXPECT_EQ(qm_test::weenie_table_payload({.id = 0x0E000001, .entries = {{100, first}, {200, abc}}}), table);
  EXPECT_EQ(qm_test::weenie_payload(abc), standalone_alignment_record());
}

TEST(Weenie, UnpackFromReaderAlignsOnTheCursorsSpanAndStopsAfterTheRecord) {
  // The standalone record behind 3 leading bytes: relative to the span the text now ends at 34,
  // so two bytes are skipped, not one.
  ByteWriter w;
  w.raw("xyz");
  w.u32(1).u32(2).u32(0).u16(0).u16(0).u16(0).u16(0);
  w.u16(1).u32(1).u16(3).raw("abc");
  ASSERT_EQ(w.size(), 34u);
  w.u8(0xEE).u8(0xEE);
  w.u16(1).u32(8).u32(7).u16(0);
  const std::size_t end = w.size();
  w.raw("tail");
  const Bytes data = w.take();
  ByteCursor c(data, 3);
  auto rec = Weenie::unpack_from_reader(c);
  ASSERT_TRUE(rec) << rec.error().message();
  EXPECT_EQ(rec->icon_id(), 7u);
  EXPECT_EQ(c.position(), end);
}

TEST(Weenie, EmptyStringConsumesKeyAndPrefixThenAligns) {
  // At 22 (4-aligned after the key and prefix): no padding.
  ByteWriter a;
  a.u32(1).u32(2).u32(0).u16(0).u16(0).u16(0).u16(0);
  a.u16(1).u32(1).u16(0);
  ASSERT_EQ(a.size(), 28u);
  a.u16(1).u32(8).u32(9).u16(0);
  auto wa = Weenie::unpack(a.bytes());
  ASSERT_TRUE(wa) << wa.error().message();
  EXPECT_FALSE(wa->name());
  EXPECT_TRUE(wa->properties.strings.empty());
  EXPECT_EQ(wa->icon_id(), 9u);
  // After one boolean the empty string ends at 33 and is padded to 36.
  ByteWriter b;
  b.u32(1).u32(2).u32(0).u16(0).u16(0).u16(1).u32(5).u8(1).u16(0);
  b.u16(1).u32(1).u16(0);
  ASSERT_EQ(b.size(), 33u);
  b.u8(0xAA).u8(0xAA).u8(0xAA);
  b.u16(1).u32(8).u32(9).u16(0);
  auto wb = Weenie::unpack(b.bytes());
  ASSERT_TRUE(wb) << wb.error().message();
  EXPECT_EQ(wb->icon_id(), 9u);
}

TEST(Weenie, EmptyStringAndZeroIdRemoveEarlierEntries) {
  RawWeenie s;
  s.name("Old").icon(0x06000001);
  s.strings.emplace_back(1, "");
  s.data_ids.emplace_back(8, 0);
  s.instance_ids = {{1, 5}, {1, 0}};
  auto w = Weenie::unpack(qm_test::weenie_payload(s));
  ASSERT_TRUE(w) << w.error().message();
  EXPECT_FALSE(w->name());
  EXPECT_FALSE(w->icon_id());
  EXPECT_TRUE(w->properties.instance_ids.empty());

  RawWeenie zero_icon;
  zero_icon.icon(0);
  auto z = Weenie::unpack(qm_test::weenie_payload(zero_icon));
  ASSERT_TRUE(z);
  EXPECT_FALSE(z->icon_id());
  EXPECT_TRUE(z->properties.data_ids.empty());
}

TEST(Weenie, RepeatedKeyLastOccurrenceWins) {
  RawWeenie s;
  s.name("First").name("Second");
  s.ints = {{5, 1}, {5, 2}};
  auto w = Weenie::unpack(qm_test::weenie_payload(s));
  ASSERT_TRUE(w);
  EXPECT_EQ(w->name(), "Second");
  ASSERT_EQ(w->properties.ints.size(), 1u);
  EXPECT_EQ(w->properties.ints.begin()->second, 2);
}

TEST(Weenie, NamesAreDecodedStoredText) {
  RawWeenie s;
  s.name("\x80 \xE9");  // windows-1252: euro sign, e acute
  auto w = Weenie::unpack(qm_test::weenie_payload(s));
  ASSERT_TRUE(w);
  EXPECT_EQ(w->name(), "\u20AC \u00E9");
}

TEST(Weenie, ShortStringBodyFailsWithoutFrames) {
  ByteWriter w;
  w.u32(1).u32(2).u32(0).u16(0).u16(0).u16(0).u16(0);
  w.u16(1).u32(1).u16(10).raw("short");
  auto r = Weenie::unpack(w.bytes());
  ASSERT_FALSE(r);
  expect_short_read(r.error(), "string body");
}

// A record cut right after its string: the padding skip passes the end and only the next read
// (the data-ID count) fails.
TEST(Weenie, PaddingPastTheEndFailsOnTheNextRead) {
  ByteWriter w;
  w.u32(1).u32(2).u32(0).u16(0).u16(0).u16(0).u16(0);
  w.u16(1).u32(1).u16(3).raw("abc");
  auto r = Weenie::unpack(w.bytes());
  ASSERT_FALSE(r);
  expect_short_read(r.error(), "after padding");
}

TEST(WeenieTable, HeaderEdges) {
  const Bytes seven = {1, 2, 3, 4, 0, 0, 0};
  auto r7 = WeenieTable::unpack(seven);
  ASSERT_FALSE(r7);
  expect_short_read(r7.error(), "7-byte table");

  const Bytes eight = {0x0E, 0x00, 0x00, 0x0E, 0, 0, 0xFF, 0xFF};
  auto r8 = WeenieTable::unpack(eight);
  ASSERT_TRUE(r8) << r8.error().message();
  EXPECT_EQ(r8->id, 0x0E00000Eu);
  EXPECT_TRUE(r8->weenies.empty());

  EXPECT_FALSE(WeenieTable::unpack(Bytes{}));
}

TEST(WeenieTable, KeysAreTheStoredValuesAndARepeatedKeyKeepsTheLaterWeenie) {
  RawWeenie a, b, c;
  a.class_id = 0xAAAA;
  b.class_id = 0xBBBB;
  c.class_id = 0xCCCC;
  b.name("second");
  auto t = WeenieTable::unpack(qm_test::weenie_table_payload({.id = 7, .entries = {{5, a}, {6, c}, {5, b}}}));
  ASSERT_TRUE(t) << t.error().message();
  EXPECT_EQ(t->id, 7u);
  ASSERT_EQ(t->weenies.size(), 2u);
  EXPECT_EQ(t->weenies.at(5).class_id, 0xBBBBu);  // key 5, whatever the class ID
  EXPECT_EQ(t->weenies.at(5).name(), "second");
  EXPECT_EQ(t->weenies.at(6).class_id, 0xCCCCu);
  EXPECT_FALSE(t->weenies.contains(0xAAAA));
}

TEST(WeenieTable, ACutLastRecordFailsTheWholeTable) {
  RawWeenie a, b;
  a.name("one");
  b.name("two").icon(3);
  const Bytes full = qm_test::weenie_table_payload({.id = 1, .entries = {{1, a}, {2, b}}});
  ASSERT_TRUE(WeenieTable::unpack(full));
  for (std::size_t n = 8; n < full.size(); ++n) {
    auto r = WeenieTable::unpack(std::span(full).first(n));
    ASSERT_FALSE(r) << n;
    expect_short_read(r.error(), "table cut at " + std::to_string(n));
  }
}

TEST(WeenieTable, HugeCountOverFewBytesFailsQuickly) {
  RawWeenie a;
  Bytes data = qm_test::weenie_table_payload({.id = 1, .entries = {{1, a}}, .count = 0xFFFF});
  auto r = WeenieTable::unpack(data);
  ASSERT_FALSE(r);
  expect_short_read(r.error(), "count 65535");
}

}  // namespace
