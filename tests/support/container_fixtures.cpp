#include "container_fixtures.hpp"

#include <fmt/format.h>
#include <stdexcept>

#include "dat_builder.hpp"
#include "quillmere_dat/archive/writer.hpp"
#include "run_tool.hpp"

namespace qm_test {

std::string unpacked_name(const FixtureEntry& e) { return fmt::format("{:08X}.{:X}", e.file_id, e.type_id); }

std::vector<std::uint8_t> noise(std::size_t n, std::uint32_t seed) {
  std::vector<std::uint8_t> out(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return out;
}

std::vector<std::uint8_t> prose(std::size_t n, std::uint32_t seed) {
  const std::string text = fmt::format("entry {} of the fixture, said again and again; ", seed);
  std::vector<std::uint8_t> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(text[i % text.size()]);
  return out;
}

std::vector<FixtureEntry> portal_fixture_entries() {
  return {
      {0x01000001, 0x1, prose(300, 1), true},
      {0x01000002, 0x1, noise(90, 2), false},
      {0x06000010, 0x6, prose(2500, 3), true},
      {0x07000020, 0x6, noise(50, 4), false},
      {0x0A000002, 0xA, noise(64, 5), false},
      {0x0B000003, 0x0, noise(3, 6), false},
      {0x0E00000E, 0xE, prose(1200, 7), true},
      {0x78000001, 0x78, {}, false},
      {0xFFFF0001, 0xFE01, noise(8, 8), false},
  };
}

std::vector<FixtureEntry> cell_fixture_entries() {
  return {
      {0x06000000, 0x0, noise(20, 11), false},
      {0x12340100, 0xFD, prose(700, 12), true},
      {0x12340101, 0xFD, noise(40, 13), false},
      {0x1234FFFE, 0xFF, prose(150, 14), true},
      {0x1234FFFF, 0xFE, noise(252, 15), false},
      {0xFFFF0001, 0xFE01, noise(4, 16), false},
  };
}

void write_dat_fixture(const std::filesystem::path& path, const std::vector<FixtureEntry>& entries,
                       std::uint32_t block_size, std::uint32_t dataset) {
  DatBuilder b(block_size, dataset);
  b.tree_shape(2, 3).scatter(5);
  for (const auto& e : entries) b.add(e.file_id, e.payload, e.compressed);
  b.write(path);
}

std::vector<ArchiveEntry> two_namespace_entries() {
  return {
      {"eor/cell", 0x00000005, 0xFE, 0, prose(900, 21)},
      {"eor/cell", 0x1234FFFF, 0xFE, 0, noise(100, 22)},
      {"eor/cell", 0x3A5FFFFE, 0xFF, 0x04, prose(64, 23)},
      {"eor/portal", 0x00000005, 0x1, 0, noise(33, 24)},
      {"eor/portal", 0x0E00000E, 0xE, 0, prose(4000, 25)},
      {"eor/portal", 0x70000001, 0xFFFFFF00, 0, {}},
  };
}

void write_archive_fixture(const std::filesystem::path& path, const std::vector<ArchiveEntry>& entries, bool compress) {
  quillmere_dat::archive::QmaWriter writer;
  writer.set_compress(compress);
  for (const auto& e : entries) {
    auto r = (e.flags & 0x04) ? writer.add_pruned(e.ns, e.file_id, e.type_id, e.payload)
                              : writer.add(e.ns, e.file_id, e.type_id, e.payload);
    if (!r) throw std::runtime_error(r.error().message());
  }
  if (auto r = writer.write(path); !r) throw std::runtime_error(r.error().message());
}

void write_broken_chain_dat(const std::filesystem::path& path) {
  DatBuilder b(1024, 1);
  b.add(0x01000001, noise(10, 1));
  b.add_stored(0x01000002, noise(3000, 2), 0, 3000);
  auto image = b.build();
  put_u32(image, b.entries()[1].offset, 0x00F00000);
  write_file(path, image);
}

}  // namespace qm_test
