#pragma once
// Writes DAT databases for tests, benchmarks, fuzz seeds and the sample data: any block size and
// header values, block chains in order or scattered, any directory tree shape (broken ones too).
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "quillmere_dat/database.hpp"

namespace qm_test {

class DatBuilder {
 public:
  explicit DatBuilder(std::uint32_t block_size = 1024, std::uint32_t dataset = 1,
                      std::uint32_t magic = quillmere_dat::kRetailMagic);

  // Header fields as written; root_offset and file_size are filled by build() unless set here.
  quillmere_dat::DatHeader& header() { return header_; }

  // A file in the directory; a compressed one is stored LRS-encoded with flag bit 0 set.
  DatBuilder& add(std::uint32_t id, std::vector<std::uint8_t> payload, bool compressed = false);
  // A directory entry exactly as given (flags, size) over the stored bytes.
  DatBuilder& add_stored(std::uint32_t id, std::vector<std::uint8_t> stored, std::uint32_t flags,
                         std::uint32_t size);
  // Blocks of each chain are laid out in a shuffled order (deterministic for a seed).
  DatBuilder& scatter(std::uint32_t seed);
  // Tree shape: entries per node (1 to 61) and children per inner node (1 to 62).
  DatBuilder& tree_shape(std::uint32_t entries_per_node, std::uint32_t children_per_node);

  // Low level, for hand-made trees: a chain holding `data`, returning its first block's offset.
  std::uint32_t put_chain(std::span<const std::uint8_t> data);
  // A 1716-byte directory node; `count` defaults to the number of entries.
  std::uint32_t put_node(const std::array<std::uint32_t, 62>& branches,
                         const std::vector<quillmere_dat::DatFileEntry>& entries, std::int64_t count = -1);
  static std::vector<std::uint8_t> node_bytes(const std::array<std::uint32_t, 62>& branches,
                                              const std::vector<quillmere_dat::DatFileEntry>& entries,
                                              std::int64_t count = -1);
  // Sets the root explicitly; build() then writes no tree of its own.
  DatBuilder& root(std::uint32_t offset);

  // The whole file image.
  std::vector<std::uint8_t> build();
  void write(const std::filesystem::path& path);

  // Entries as the directory holds them, once build() ran.
  const std::vector<quillmere_dat::DatFileEntry>& entries() const { return entries_; }

 private:
  struct Pending {
    std::uint32_t id, flags, size;
    std::vector<std::uint8_t> stored;
  };
  std::uint32_t alloc_block();
  std::uint32_t build_tree(std::span<const quillmere_dat::DatFileEntry> entries);

  quillmere_dat::DatHeader header_;
  std::vector<std::uint8_t> image_;
  std::vector<Pending> pending_;
  std::vector<quillmere_dat::DatFileEntry> entries_;
  std::uint32_t per_node_ = 61, children_ = 62;
  bool scatter_ = false;
  std::uint32_t rng_ = 1;
  bool explicit_root_ = false;
};

void put_u32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v);
void append_u32(std::vector<std::uint8_t>& out, std::uint32_t v);

}  // namespace qm_test
