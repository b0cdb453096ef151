#include <gtest/gtest.h>

#include "provider.hpp"
#include "quoting.hpp"
#include "type_label.hpp"
#include "quillmere_dat/file_type.hpp"

namespace {

TEST(ParseIdAuto, Table) {
  struct Case {
    const char* text;
    std::uint32_t value;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"10", 10, nullptr},
      {"1A", 26, nullptr},
      {"0x10", 16, nullptr},
      {"0X10", 16, nullptr},
      {"  0x1a \t", 26, nullptr},
      {"00000010", 10, nullptr},
      {"FFFFFFFF", 0xFFFFFFFF, nullptr},
      {"4294967295", 0xFFFFFFFF, nullptr},
      {"+7", 7, nullptr},
      {"0x+1f", 0x1F, nullptr},
      {"4294967296", 0, "number too large to fit in target type"},
      {"0x100000000", 0, "number too large to fit in target type"},
      {"0x", 0, "cannot parse integer from empty string"},
      {"", 0, "cannot parse integer from empty string"},
      {"   ", 0, "cannot parse integer from empty string"},
      {"-1", 0, "invalid digit found in string"},
      {"xyz", 0, "invalid digit found in string"},
      {"0xg", 0, "invalid digit found in string"},
      {"+", 0, "invalid digit found in string"},
  };
  for (const auto& c : cases) {
    auto r = dat_tool::parse_id_auto(c.text);
    if (c.error) {
      ASSERT_FALSE(r) << c.text;
      EXPECT_EQ(r.error().message(), c.error) << c.text;
    } else {
      ASSERT_TRUE(r) << c.text;
      EXPECT_EQ(*r, c.value) << c.text;
    }
  }
}

TEST(Quoting, DebugFormEscapes) {
  EXPECT_EQ(dat_tool::quoted("out/a b.bin"), "\"out/a b.bin\"");
  EXPECT_EQ(dat_tool::quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(dat_tool::quoted("t\tn\n\x1b"), "\"t\\tn\\n\\u{1b}\"");
  EXPECT_EQ(dat_tool::quoted("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
  EXPECT_EQ(dat_tool::quoted("bad\xFF"), "\"bad\\xff\"");
  EXPECT_EQ(dat_tool::display("bad\xFF.json"), "bad\xEF\xBF\xBD.json");
}

TEST(FileType, LabelsAndClassification) {
  using quillmere_dat::DatDatasetKind;
  using quillmere_dat::DatFileEntry;
  using T = quillmere_dat::DatFileType;
  EXPECT_EQ(dat_tool::format_type_label(0x0A), "Audio (WAV) (0x0000000A)");
  EXPECT_EQ(dat_tool::format_type_label(0), "Unknown (0x00000000)");
  EXPECT_EQ(dat_tool::format_type_label(7), "Unknown (0x00000007)");
  EXPECT_EQ(dat_tool::format_type_label(0xFE01), "Iteration (Metadata) (0x0000FE01)");
  EXPECT_EQ(dat_tool::format_type_label(0xFFFFFF00), "Custom (0xFFFFFF00)");
  EXPECT_EQ(dat_tool::format_type_label(6), "Texture (DDS/JPG) (0x00000006)");

  struct Case {
    std::uint32_t id;
    DatDatasetKind kind;
    T want;
  };
  const std::vector<Case> cases = {
      {0x06000001, DatDatasetKind::Portal, T::Texture},
      {0x07000001, DatDatasetKind::Portal, T::Texture},
      {0x0B000001, DatDatasetKind::Portal, T::Unknown},
      {0x0E00000E, DatDatasetKind::Portal, T::Table},
      {0x78000000, DatDatasetKind::Portal, T::DatabaseProperties},
      {0x79000000, DatDatasetKind::Portal, T::Unknown},
      {0x00000001, DatDatasetKind::Portal, T::Unknown},
      {0x12340000 | 0xFFFF, DatDatasetKind::Cell, T::Landblock},
      {0x1234FFFE, DatDatasetKind::Cell, T::LandblockInfo},
      {0x12340100, DatDatasetKind::Cell, T::IndoorCell},
      {0x12340000, DatDatasetKind::Cell, T::Unknown},
      {0x06000000, DatDatasetKind::Cell, T::Unknown},
      {0xFFFF0001, DatDatasetKind::Cell, T::Iteration},
      {0xFFFF0001, DatDatasetKind::Portal, T::Iteration},
      {0xFFFF0001, DatDatasetKind::NotRetail, T::Iteration},
      {0xFFFF0002, DatDatasetKind::Cell, T::IndoorCell},
      {0x0600FFFF, DatDatasetKind::NotRetail, T::Landblock},
      {0x06000100, DatDatasetKind::NotRetail, T::Texture},
      {0xAA000100, DatDatasetKind::NotRetail, T::IndoorCell},
      {0xAA000000, DatDatasetKind::NotRetail, T::Unknown},
      {0x0100FFFE, DatDatasetKind::NotRetail, T::LandblockInfo},
      {0x0100FFFE, DatDatasetKind::OtherRetail, T::Model},
  };
  for (const auto& c : cases) {
    DatFileEntry e;
    e.id = c.id;
    EXPECT_EQ(e.file_type_in_dat(c.kind), c.want) << std::hex << c.id;
  }
  quillmere_dat::DatHeader h;
  auto kind = [&](std::uint32_t magic, std::uint32_t bs, std::uint32_t ds) {
    h.magic = magic, h.block_size = bs, h.dataset = ds;
    return quillmere_dat::dataset_kind(h);
  };
  EXPECT_EQ(kind(0x5442, 1024, 1), DatDatasetKind::Portal);
  EXPECT_EQ(kind(0x5442, 256, 2), DatDatasetKind::Cell);
  EXPECT_EQ(kind(0x5442, 1024, 2), DatDatasetKind::OtherRetail);
  EXPECT_EQ(kind(0x5442, 256, 1), DatDatasetKind::OtherRetail);
  EXPECT_EQ(kind(0x5442, 4096, 1), DatDatasetKind::OtherRetail);
  EXPECT_EQ(kind(0x1234, 1024, 1), DatDatasetKind::NotRetail);
}

}  // namespace
