// The spell table decoder.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "quillmere_dat/file_type/spell_table.hpp"
#include "spell_builder.hpp"

namespace {

namespace st = quillmere_dat::file_type::spell_table;
using quillmere_dat::ByteCursor;
using quillmere_dat::ReadError;
using qm_test::make_spell;
using qm_test::SpellTableBuilder;
using qm_test::TierSpec;
using Bytes = std::vector<std::uint8_t>;

std::string frame(std::string_view field, std::string_view record) {
  return "While parsing field '" + std::string(field) + "' in " + std::string(record);
}
std::vector<std::string> frame_texts(const ReadError& e) {
  std::vector<std::string> out;
  for (const auto& f : e.frames()) out.push_back(f.message);
  return out;
}
bool is_eof(const ReadError& e) {
  return e.kind() == ReadError::Kind::Io && e.base_message() == "failed to fill whole buffer";
}
std::string u8(const char8_t* s) { return std::string(reinterpret_cast<const char*>(s)); }

const char* kEnchantmentAssert = "assertion failed: `meta_spell_type == 1 || meta_spell_type == 12`";
const char* kPortalAssert = "assertion failed: `meta_spell_type == 7`";
const char* kNoneAssert = "assertion failed: `meta_spell_type != 1 && meta_spell_type != 12 && meta_spell_type != 7`";

// ---- worked examples ----

TEST(SpellTable, EightBytesLackTheSetCountAndTwelveDecodeEmpty) {
  const Bytes eight = {0x0E, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00};
  auto r = st::decode_spell_table(eight);
  ASSERT_FALSE(r);
  EXPECT_TRUE(is_eof(r.error()));
  EXPECT_EQ(frame_texts(r.error()), std::vector<std::string>{frame("spell_sets", "SpellTable")});

  Bytes twelve = eight;
  twelve.insert(twelve.end(), {0x00, 0x00, 0x00, 0x00});
  auto ok = st::decode_spell_table(twelve);
  ASSERT_TRUE(ok) << ok.error().message();
  EXPECT_EQ(ok->id, 0x0E00000Eu);
  EXPECT_TRUE(ok->spells.empty());
  EXPECT_TRUE(ok->spell_sets.empty());
}

TEST(SpellTable, IdIsKeptAsStoredAndShortIdFails) {
  auto payload = SpellTableBuilder(0x12345678).build();
  auto t = st::decode_spell_table(payload);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->id, 0x12345678u);
  for (std::size_t n = 0; n < 4; ++n) {
    auto r = st::decode_spell_table(std::span(payload).first(n));
    ASSERT_FALSE(r);
    EXPECT_TRUE(is_eof(r.error()));
    EXPECT_EQ(frame_texts(r.error()), std::vector<std::string>{frame("id", "SpellTable")});
  }
}

TEST(SpellTable, TrailingBytesAreIgnored) {
  SpellTableBuilder b;
  b.add_spell(5, make_spell(5, "Flame Bolt", "Shoots fire"));
  b.trailing({0xDE, 0xAD, 0xBE, 0xEF, 0x01});
  auto t = st::decode_spell_table(b.build());
  ASSERT_TRUE(t) << t.error().message();
  ASSERT_EQ(t->spells.size(), 1u);
  EXPECT_EQ(t->spells.at(5).name, "Flame Bolt");
}

TEST(SpellTable, RepeatedKeysKeepTheLaterEntry) {
  SpellTableBuilder b;
  b.add_spell(9, make_spell(9, "First", "one"));
  b.add_spell(3, make_spell(3, "Other", "x"));
  b.add_spell(9, make_spell(9, "Second", "two"));
  b.add_set(1, {{1, {10, 11}}, {1, {12}}});
  b.add_set(1, {{2, {13}}});
  auto t = st::decode_spell_table(b.build());
  ASSERT_TRUE(t) << t.error().message();
  EXPECT_EQ(t->spells.size(), 2u);
  EXPECT_EQ(t->spells.at(9).name, "Second");
  EXPECT_EQ(t->spells.at(9).description, "two");
  ASSERT_EQ(t->spell_sets.size(), 1u);
  const auto& tiers = t->spell_sets.at(1).tiers;
  ASSERT_EQ(tiers.size(), 1u);
  EXPECT_EQ(tiers.at(2).spells, (std::vector<std::uint32_t>{13}));

  SpellTableBuilder b2;
  b2.add_set(4, {{1, {10, 11}}, {1, {12}}});
  auto t2 = st::decode_spell_table(b2.build());
  ASSERT_TRUE(t2);
  ASSERT_EQ(t2->spell_sets.at(4).tiers.size(), 1u);
  EXPECT_EQ(t2->spell_sets.at(4).tiers.at(1).spells, (std::vector<std::uint32_t>{12}));
  EXPECT_EQ(t2->spell_sets.at(4).tiers.at(1).spell_count, 1);
}

TEST(SpellTable, AlignmentCountsFromThePayloadStart) {
  SpellTableBuilder b;
  b.add_spell(1, make_spell(1, "", "Desc"));
  const Bytes p = b.build();
  // The entry starts at 8: key 8..12, name length 12..14, description from 16.
  EXPECT_EQ(p[12], 0);
  EXPECT_EQ(p[13], 0);
  EXPECT_EQ(p[16], 4);
  EXPECT_EQ(p[17], 0);
  auto t = st::decode_spell_table(p);
  ASSERT_TRUE(t) << t.error().message();
  EXPECT_EQ(t->spells.at(1).name, "");
  EXPECT_EQ(t->spells.at(1).description, "Desc");

  // Names of every length modulo 4 keep the following fields aligned.
  for (std::size_t len = 0; len < 9; ++len) {
    SpellTableBuilder bb;
    const std::string name(len, 'n');
    const std::string desc(8 - len, 'd');
    bb.add_spell(7, make_spell(7, name, desc, 3, 44));
    bb.add_spell(8, make_spell(8, desc, name, 4, 55));
    auto tt = st::decode_spell_table(bb.build());
    ASSERT_TRUE(tt) << len << ": " << tt.error().message();
    EXPECT_EQ(tt->spells.at(7), make_spell(7, name, desc, 3, 44));
    EXPECT_EQ(tt->spells.at(8), make_spell(8, desc, name, 4, 55));
  }
}

TEST(SpellTable, ScrambledTextsDecode) {
  auto name_of = [](Bytes stored) {
    SpellTableBuilder b;
    b.add_spell_raw(1, make_spell(1, "", ""), qm_test::swap_nibbles(stored), {});
    auto t = st::decode_spell_table(b.build());
    EXPECT_TRUE(t);
    return t ? t->spells.at(1).name : std::string("<error>");
  };
  EXPECT_EQ(name_of({0x54, 0x07, 0x96, 0x36}), "Epic");
  EXPECT_EQ(qm_test::swap_nibbles(Bytes{0x54, 0x07, 0x96, 0x36}), (Bytes{0x45, 0x70, 0x69, 0x63}));
  Bytes utf8 = {0xFE, 0xBB, 0xFB};
  for (auto b : qm_test::swap_nibbles(Bytes{0xC3, 0xA9, 't', 0xC3, 0xA9})) utf8.push_back(b);
  EXPECT_EQ(name_of(utf8), u8(u8"\u00E9t\u00E9"));
  EXPECT_EQ(name_of({0xFF, 0xEF, 0x14, 0x00}), "A");
  EXPECT_EQ(name_of(qm_test::swap_nibbles(Bytes{0x80, 0x92})), u8(u8"\u20AC\u2019"));

  // The builder stores texts the way the decoder reads them back.
  SpellTableBuilder b;
  b.add_spell(2, make_spell(2, u8(u8"Caf\u00E9 \u2019quoted\u2019"), u8(u8"snow \u2603 man")));
  auto t = st::decode_spell_table(b.build());
  ASSERT_TRUE(t);
  EXPECT_EQ(t->spells.at(2).name, u8(u8"Caf\u00E9 \u2019quoted\u2019"));
  EXPECT_EQ(t->spells.at(2).description, u8(u8"snow \u2603 man"));
}

TEST(SpellTable, ExtrasFollowMetaSpellType) {
  const std::size_t base = [] {
    SpellTableBuilder b;
    b.add_spell(1, make_spell(1, "N", "D", 1, 0, 0));
    return b.build().size();
  }();
  const std::pair<std::uint32_t, std::size_t> cases[] = {{0, 0}, {1, 16}, {12, 16}, {7, 8}, {13, 0}, {2, 0}, {11, 0}};
  for (auto [meta, extra] : cases) {
    SpellTableBuilder b;
    const auto spell = make_spell(1, "N", "D", 1, 0, meta);
    b.add_spell(1, spell);
    const Bytes p = b.build();
    EXPECT_EQ(p.size(), base + extra) << meta;
    auto t = st::decode_spell_table(p);
    ASSERT_TRUE(t) << meta << ": " << t.error().message();
    EXPECT_EQ(t->spells.at(1), spell) << meta;
    const auto& extras = t->spells.at(1).extras;
    EXPECT_EQ(std::holds_alternative<st::Enchantment>(extras), extra == 16) << meta;
    EXPECT_EQ(std::holds_alternative<st::PortalSummon>(extras), extra == 8) << meta;
    EXPECT_EQ(std::holds_alternative<st::None>(extras), extra == 0) << meta;
  }
}

// Where the extras of a lone spell begin, in a payload from the builder.
std::size_t extras_offset(const std::vector<qm_test::FieldSpan>& layout) {
  for (const auto& s : layout)
    if (s.frames.front() == frame("meta_spell_id", "SpellBase")) return s.end;
  return 0;
}

TEST(SpellTable, EnchantmentCutShortListsEveryVariant) {
  SpellTableBuilder b;
  b.add_spell(1, make_spell(1, "N", "D", 1, 0, 1));
  std::vector<qm_test::FieldSpan> layout;
  const Bytes full = b.build(&layout);
  const std::size_t at = extras_offset(layout);
  ASSERT_GT(at, 0u);
  const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(at + 10));  // 10 bytes left
  ByteCursor c(cut);
  auto r = st::read_spell_table(c);
  ASSERT_FALSE(r);
  EXPECT_EQ(c.position(), 0u);
  const ReadError& e = r.error();
  ASSERT_EQ(e.kind(), ReadError::Kind::NoVariantMatch);
  EXPECT_EQ(e.position(), at);
  EXPECT_EQ(frame_texts(e), (std::vector<std::string>{frame("extras", "SpellBase"), frame("spells", "SpellTable")}));
  ASSERT_EQ(e.variants().size(), 3u);
  EXPECT_EQ(e.variants()[0].name, "Enchantment");
  EXPECT_TRUE(is_eof(e.variants()[0].error));
  EXPECT_EQ(frame_texts(e.variants()[0].error),
            std::vector<std::string>{frame("degrade_modifier", "SpellExtras::Enchantment")});
  EXPECT_EQ(e.variants()[1].name, "PortalSummon");
  EXPECT_EQ(e.variants()[1].error.kind(), ReadError::Kind::Assert);
  EXPECT_EQ(e.variants()[1].error.assert_message(), kPortalAssert);
  EXPECT_EQ(e.variants()[1].error.position(), at);
  EXPECT_TRUE(e.variants()[1].error.frames().empty());
  EXPECT_EQ(e.variants()[2].name, "None");
  EXPECT_EQ(e.variants()[2].error.assert_message(), kNoneAssert);
  EXPECT_EQ(e.variants()[2].error.position(), at);
}

TEST(SpellTable, PortalSummonCutShortListsEveryVariant) {
  SpellTableBuilder b;
  b.add_spell(1, make_spell(1, "N", "D", 1, 0, 7));
  std::vector<qm_test::FieldSpan> layout;
  const Bytes full = b.build(&layout);
  const std::size_t at = extras_offset(layout);
  const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(at + 7));
  auto r = st::decode_spell_table(cut);
  ASSERT_FALSE(r);
  const ReadError& e = r.error();
  ASSERT_EQ(e.kind(), ReadError::Kind::NoVariantMatch);
  ASSERT_EQ(e.variants().size(), 3u);
  EXPECT_EQ(e.variants()[0].name, "Enchantment");
  EXPECT_EQ(e.variants()[0].error.assert_message(), kEnchantmentAssert);
  EXPECT_EQ(e.variants()[1].name, "PortalSummon");
  EXPECT_TRUE(is_eof(e.variants()[1].error));
  EXPECT_EQ(frame_texts(e.variants()[1].error),
            std::vector<std::string>{frame("portal_lifetime", "SpellExtras::PortalSummon")});
  EXPECT_EQ(e.variants()[2].name, "None");
  EXPECT_EQ(e.variants()[2].error.assert_message(), kNoneAssert);
  EXPECT_NE(e.message().find(kEnchantmentAssert), std::string::npos) << e.message();
}

TEST(SpellTable, TierCounts) {
  SpellTableBuilder b;
  b.add_set(3, {{1, {}}, {2, {100, 200, 300}}});
  auto t = st::decode_spell_table(b.build());
  ASSERT_TRUE(t) << t.error().message();
  EXPECT_TRUE(t->spell_sets.at(3).tiers.at(1).spells.empty());
  EXPECT_EQ(t->spell_sets.at(3).tiers.at(1).spell_count, 0);
  EXPECT_EQ(t->spell_sets.at(3).tiers.at(2).spells, (std::vector<std::uint32_t>{100, 200, 300}));

  SpellTableBuilder neg;
  neg.add_spell(1, make_spell(1, "A", "B"));
  neg.add_set(3, {{1, {5}}, TierSpec{2, {6, 7}, -1}});
  const Bytes p = neg.build();
  ByteCursor c(p);
  auto r = st::read_spell_table(c);
  ASSERT_FALSE(r);
  EXPECT_EQ(c.position(), 0u);
  const ReadError& e = r.error();
  ASSERT_EQ(e.kind(), ReadError::Kind::Assert);
  EXPECT_EQ(e.assert_message(), "count -1 out of range of usize");
  EXPECT_EQ(e.position(), p.size() - 8);  // just after the count
  EXPECT_EQ(frame_texts(e), (std::vector<std::string>{frame("tiers", "SpellSet"), frame("spell_sets", "SpellTable")}));
  EXPECT_EQ(e.base_message(), "count -1 out of range of usize at 0x" + [&] {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%zx", p.size() - 8);
    return std::string(buf);
  }());

  SpellTableBuilder most_negative;
  most_negative.add_set(3, {TierSpec{2, {}, INT32_MIN}});
  auto r2 = st::decode_spell_table(most_negative.build());
  ASSERT_FALSE(r2);
  EXPECT_EQ(r2.error().assert_message(), "count -2147483648 out of range of usize");
}

TEST(SpellTable, HugeTierCountFailsAtTheEndOfTheData) {
  SpellTableBuilder b;
  std::vector<std::uint32_t> some(1000, 7);
  b.add_set(3, {TierSpec{2, some, 2000000000}});
  const Bytes p = b.build();
  auto check = [&p] {
    auto r = st::decode_spell_table(p);
    if (r) return 1;
    if (!is_eof(r.error())) return 2;
    const std::vector<std::string> want = {frame("spells", "SpellSetTiers"), frame("tiers", "SpellSet"),
                                           frame("spell_sets", "SpellTable")};
    return frame_texts(r.error()) == want ? 0 : 3;
  };
  EXPECT_EQ(check(), 0);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the address-space limit check cannot run under a sanitizer";
#else
  // In a child process whose address space may grow by 512 MiB only: an allocation sized from
  // the count (8 GB) would fail there.
  auto limited = [&check] {
    std::ifstream status("/proc/self/status");
    std::string line;
    std::uint64_t vm_kib = 0;
    while (std::getline(status, line))
      if (line.rfind("VmSize:", 0) == 0) vm_kib = std::strtoull(line.c_str() + 7, nullptr, 10);
    const rlim_t limit = static_cast<rlim_t>(vm_kib * 1024 + (512ull << 20));
    rlimit rl{limit, limit};
    if (vm_kib == 0 || setrlimit(RLIMIT_AS, &rl) != 0) std::exit(10);
    std::exit(check());
  };
  EXPECT_EXIT(limited(), ::testing::ExitedWithCode(0), "");
#endif
}

TEST(SpellTable, FailureRestoresACursorThatDidNotStartAtZero) {
  const Bytes data = {0xAA, 0xBB, 0xCC, 0x0E, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x01};
  ByteCursor c(data, 3);
  auto r = st::read_spell_table(c);
  ASSERT_FALSE(r);
  EXPECT_EQ(c.position(), 3u);
  EXPECT_EQ(frame_texts(r.error()), std::vector<std::string>{frame("spell_sets", "SpellTable")});
}

// A table with every kind of record: texts of each length modulo 4, every extras variant,
// sets with empty and full tiers, an empty set.
SpellTableBuilder rich_table() {
  SpellTableBuilder b;
  b.add_spell(10, make_spell(10, "Strength Other I", "Increases the target's Strength by 10 points.", 4, 1, 1));
  b.add_spell(2, make_spell(2, "", "", 1, 7, 0));
  b.add_spell(300, make_spell(300, "Portal", u8(u8"Caf\u00E9"), 3, 9, 7));
  b.add_spell(44, make_spell(44, "abc", "ab", 5, 9, 12));
  b.add_spell(45, make_spell(45, u8(u8"snow \u2603"), "a", 2, 9, 13));
  b.add_set(1, {{1, {10, 2}}, {5, {}}, {9, {300, 44, 45}}});
  b.add_set(7, {});
  b.add_set(8, {{3, {1}}});
  return b;
}

TEST(SpellTable, EveryCutOfAValidPayloadFailsWithTheFramesOfItsField) {
  std::vector<qm_test::FieldSpan> layout;
  const Bytes full = rich_table().build(&layout);
  ASSERT_FALSE(layout.empty());
  {
    auto t = st::decode_spell_table(full);
    ASSERT_TRUE(t) << t.error().message();
    EXPECT_EQ(t->spells.size(), 5u);
    EXPECT_EQ(t->spells.at(300), make_spell(300, "Portal", u8(u8"Caf\u00E9"), 3, 9, 7));
    EXPECT_EQ(t->spell_sets.size(), 3u);
    EXPECT_TRUE(t->spell_sets.at(7).tiers.empty());
    EXPECT_EQ(t->spell_sets.at(1).tiers.at(9).spells, (std::vector<std::uint32_t>{300, 44, 45}));
  }
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    // An exactly sized heap copy, so a read past its end is caught by the sanitizers.
    const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
    ByteCursor c(prefix);
    auto r = st::read_spell_table(c);
    ASSERT_FALSE(r);
    EXPECT_EQ(c.position(), 0u);
    const qm_test::FieldSpan* span = nullptr;
    for (const auto& s : layout)
      if (s.end > cut) {
        span = &s;
        break;
      }
    ASSERT_NE(span, nullptr);
    const ReadError& e = r.error();
    EXPECT_EQ(frame_texts(e), span->frames);
    for (const auto& f : e.frames()) {
      EXPECT_EQ(f.file, "libs/dat/src/file_type/spell_table.cpp");
      EXPECT_GT(f.line, 0u);
    }
    if (span->extras) {
      ASSERT_EQ(e.kind(), ReadError::Kind::NoVariantMatch);
      EXPECT_EQ(e.position(), span->begin);
      ASSERT_EQ(e.variants().size(), 3u);
      int eofs = 0;
      for (const auto& v : e.variants()) eofs += is_eof(v.error);
      EXPECT_EQ(eofs, 1);
      EXPECT_EQ(e.variants()[0].name, "Enchantment");
      EXPECT_EQ(e.variants()[1].name, "PortalSummon");
      EXPECT_EQ(e.variants()[2].name, "None");
      EXPECT_EQ(e.variants()[2].error.assert_message(), kNoneAssert);
    } else {
      EXPECT_TRUE(is_eof(e)) << e.message();
    }
  }
}

TEST(SpellTable, ErrorMessageShowsTheFramesInnermostFirst) {
  SpellTableBuilder b;
  b.add_spell(1, make_spell(1, "Name", "Description"));
  std::vector<qm_test::FieldSpan> layout;
  const Bytes full = b.build(&layout);
  std::size_t school_end = 0;
  for (const auto& s : layout)
    if (s.frames.front() == frame("school", "SpellBase")) school_end = s.end;
  auto r = st::decode_spell_table(std::span(full).first(school_end - 1));
  ASSERT_FALSE(r);
  const std::string m = r.error().message();
  const auto inner = m.find(frame("school", "SpellBase")), outer = m.find(frame("spells", "SpellTable"));
  ASSERT_NE(inner, std::string::npos) << m;
  ASSERT_NE(outer, std::string::npos) << m;
  EXPECT_LT(inner, outer);
  EXPECT_EQ(m.rfind("failed to fill whole buffer", 0), 0u) << m;
}

}  // namespace
