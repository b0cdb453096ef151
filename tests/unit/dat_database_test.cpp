#include <gtest/gtest.h>

#include <cstring>

#include "dat_builder.hpp"
#include "quillmere_dat/database.hpp"
#include "run_tool.hpp"

namespace {

using quillmere_dat::DatDatabase;
using quillmere_dat::DatError;
using quillmere_dat::DatFileEntry;
using qm_test::DatBuilder;
using Bytes = std::vector<std::uint8_t>;

Bytes pattern(std::size_t n, std::uint8_t seed = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

struct DbFile {
  qm_test::TempDir dir;
  std::filesystem::path path = dir / "t.dat";
  void write(const Bytes& image) { qm_test::write_file(path, image); }
};

TEST(DatDatabase, OpensAndFetchesEveryEntryWhateverTheTreeShape) {
  struct Shape {
    std::uint32_t block, per_node, children;
    bool scatter;
  };
  for (auto shape : {Shape{1024, 61, 62, false}, Shape{256, 3, 4, true}, Shape{256, 1, 2, true},
                     Shape{64, 5, 6, false}}) {
    DatBuilder b(shape.block, 1);
    b.tree_shape(shape.per_node, shape.children);
    if (shape.scatter) b.scatter(42);
    std::map<std::uint32_t, Bytes> want;
    for (std::uint32_t i = 0; i < 300; ++i) {
      const std::uint32_t id = 0x06000000u + i * 37;
      want[id] = pattern(i * 13 % 3000, static_cast<std::uint8_t>(i));
      b.add(id, want[id], i % 3 == 0);
    }
    DbFile f;
    f.write(b.build());
    auto db = DatDatabase::open(f.path);
    ASSERT_TRUE(db) << db.error().message();
    EXPECT_EQ(db->entries().size(), want.size());
    for (const auto& [id, payload] : want) {
      auto got = db->get_file(id);
      ASSERT_TRUE(got) << got.error().message();
      EXPECT_EQ(*got, payload) << std::hex << id;
    }
    EXPECT_EQ(db->get_file(0x01000000).error().message(), "File ID 01000000 not found in provider");
  }
}

TEST(DatDatabase, HeaderFailuresNameTheField) {
  struct Case {
    std::size_t file_len;
    const char* expect;
  };
  const std::vector<Case> cases = {
      {0, "While parsing field 'magic' in DatHeader"},
      {323, "While parsing field 'magic' in DatHeader"},
      {326, "While parsing field 'block_size' in DatHeader"},
      {390, "not enough bytes in reader"},
      {396, "While parsing field 'version_minor' in DatHeader"},
  };
  DatBuilder b(1024, 1);
  const Bytes full = b.build();
  for (const auto& c : cases) {
    DbFile f;
    f.write(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.file_len)));
    auto db = DatDatabase::open(f.path);
    ASSERT_FALSE(db);
    EXPECT_EQ(db.error().kind(), DatError::Kind::BinRead);
    EXPECT_NE(db.error().message().find(c.expect), std::string::npos) << c.file_len << ": " << db.error().message();
    EXPECT_TRUE(db.error().message().starts_with("Binary read error: ")) << db.error().message();
  }
  DbFile f;
  f.write(Bytes(full.begin(), full.begin() + 392));
  EXPECT_NE(DatDatabase::open(f.path).error().message().find("version_string"), std::string::npos);
}

TEST(DatDatabase, MissingFileIsAPathError) {
  auto db = DatDatabase::open("/nonexistent/x.dat");
  ASSERT_FALSE(db);
  EXPECT_EQ(db.error().kind(), DatError::Kind::PathError);
  EXPECT_EQ(db.error().message(), "Failed to open file at /nonexistent/x.dat: No such file or directory");
  EXPECT_EQ(db.error().causes(), std::vector<std::string>{"No such file or directory"});
}

// Hand-made chains to pin down how far a range read follows its chain.
TEST(DatDatabase, ReadFileDataFollowsChainsExactly) {
  DatBuilder b(16, 1);  // 12 data bytes per block
  b.root(0);
  Bytes image = b.build();
  auto block = [&](std::uint32_t link, std::uint8_t fill) {
    const auto at = static_cast<std::uint32_t>(image.size());
    qm_test::append_u32(image, link);
    image.insert(image.end(), 12, fill);
    return at;
  };
  const std::uint32_t second = static_cast<std::uint32_t>(image.size()) + 16;
  const std::uint32_t first = block(second, 0xA1);
  block(0, 0xB2);
  const std::uint32_t dangling = block(0xFFFFFF00u, 0xC3);  // link far beyond the file
  DbFile f;
  f.write(image);
  auto db = DatDatabase::open(f.path);
  ASSERT_TRUE(db);

  EXPECT_EQ(db->read_file_data(0, 0)->size(), 0u);
  EXPECT_EQ(db->read_file_data(0xFFFFFFF0u, 0)->size(), 0u);
  // Exactly one block's data: the dangling link is never followed.
  EXPECT_EQ(*db->read_file_data(dangling, 12), Bytes(12, 0xC3));
  Bytes two = Bytes(12, 0xA1);
  two.push_back(0xB2);
  EXPECT_EQ(*db->read_file_data(first, 13), two);
  // Past the last block (link 0) the remaining bytes are read contiguously.
  auto run_on = db->read_file_data(second, 20);
  ASSERT_TRUE(run_on);
  EXPECT_EQ(Bytes(run_on->begin(), run_on->begin() + 12), Bytes(12, 0xB2));
  EXPECT_EQ((*run_on)[16], 0xC3);
  auto off_end = db->read_file_data(dangling, 13);
  ASSERT_FALSE(off_end);
  EXPECT_EQ(off_end.error().message(), "IO error: failed to fill whole buffer");
  // A size beyond the whole file fails the same way, before any memory is reserved for it.
  EXPECT_EQ(db->read_file_data(first, 0xFFFFFFFFu).error().message(), "IO error: failed to fill whole buffer");
}

TEST(DatDatabase, DirectoryWalkRules) {
  auto entry = [](std::uint32_t id, std::uint32_t size = 0) {
    DatFileEntry e;
    e.id = id;
    e.size = size;
    return e;
  };
  {  // Root offset 0: empty map.
    DatBuilder b(1024, 1);
    b.root(0);
    DbFile f;
    f.write(b.build());
    auto db = DatDatabase::open(f.path);
    ASSERT_TRUE(db);
    EXPECT_TRUE(db->entries().empty());
  }
  {  // A leaf ignores its other branches; a later duplicate wins; E = 0 follows only branch 0.
    DatBuilder b(1024, 1);
    const auto leaf = b.put_node({}, {entry(0x06000001, 1), entry(0x0A000001)});
    std::array<std::uint32_t, 62> junk{};
    junk[1] = 0xDEADBEEF;
    const auto leaf_with_junk = b.put_node(junk, {entry(0x06000002)});
    std::array<std::uint32_t, 62> br{};
    br[0] = leaf;
    br[1] = leaf_with_junk;
    const auto inner = b.put_node(br, {entry(0x06000001, 7)}, 1);
    std::array<std::uint32_t, 62> top{};
    top[0] = inner;
    top[1] = 0xFFFFFF00;  // not followed: E = 0 follows only branch 0
    b.root(b.put_node(top, {}, 0));
    DbFile f;
    f.write(b.build());
    auto db = DatDatabase::open(f.path);
    ASSERT_TRUE(db) << db.error().message();
    EXPECT_EQ(db->entries().size(), 3u);
    EXPECT_EQ(db->entries().at(0x06000001).size, 1u);  // the child's, visited after its parent
  }
}

TEST(DatDatabase, CorruptTreesFailWithAnError) {
  auto open_with_root = [](auto make) {
    DatBuilder b(1024, 1);
    make(b);
    DbFile f;
    f.write(b.build());
    return DatDatabase::open(f.path);
  };
  // Entry count beyond 61: the 62nd entry does not fit in the node.
  auto too_many = open_with_root([](DatBuilder& b) { b.root(b.put_node({}, {}, 1000)); });
  ASSERT_FALSE(too_many);
  EXPECT_EQ(too_many.error().kind(), DatError::Kind::BinRead);
  EXPECT_NE(too_many.error().message().find("While parsing field 'bit_flags' in DatFileEntry"), std::string::npos);
  EXPECT_NE(too_many.error().message().find("failed to fill whole buffer"), std::string::npos);

  // A node that links to itself.
  auto cycle = open_with_root([](DatBuilder& b) {
    const auto self = static_cast<std::uint32_t>(b.build().size());
    std::array<std::uint32_t, 62> br{};
    br[0] = self;
    b.root(b.put_node(br, {}, 0));
  });
  ASSERT_FALSE(cycle);
  EXPECT_EQ(cycle.error().kind(), DatError::Kind::Corruption);

  // A chain of nodes far deeper than any real tree.
  auto deep = open_with_root([](DatBuilder& b) {
    std::uint32_t child = 0;
    for (int depth = 0; depth < 200; ++depth) {
      std::array<std::uint32_t, 62> br{};
      br[0] = child;
      child = child ? b.put_node(br, {}, 0) : b.put_node({}, {});
    }
    b.root(child);
  });
  ASSERT_FALSE(deep);
  EXPECT_EQ(deep.error().kind(), DatError::Kind::Corruption);

  // A root beyond the end of the file.
  auto beyond = open_with_root([](DatBuilder& b) { b.root(0x7FFFFFF0); });
  ASSERT_FALSE(beyond);
  EXPECT_EQ(beyond.error().message(), "IO error: failed to fill whole buffer");
}

TEST(DatDatabase, TinyBlockSizesAreRefusedNotLooped) {
  for (std::uint32_t bs : {0u, 3u, 4u}) {
    DatBuilder b(bs, 1);
    b.root(512);
    DbFile f;
    Bytes image = b.build();
    image.resize(4096, 0);
    f.write(image);
    auto db = DatDatabase::open(f.path);
    ASSERT_FALSE(db) << bs;
    EXPECT_EQ(db.error().kind(), DatError::Kind::Corruption) << bs;
  }
}

TEST(DatDatabase, CompressedEntryEdgeSizes) {
  DatBuilder b(1024, 1);
  b.add_stored(0x06000001, {1, 2, 3}, 1, 3);
  b.add_stored(0x06000002, {0, 0, 0, 0}, 1, 4);
  DbFile f;
  f.write(b.build());
  auto db = DatDatabase::open(f.path);
  ASSERT_TRUE(db);
  EXPECT_EQ(*db->get_file(0x06000001), (Bytes{1, 2, 3}));
  EXPECT_TRUE(db->get_file(0x06000002)->empty());
}

}  // namespace
