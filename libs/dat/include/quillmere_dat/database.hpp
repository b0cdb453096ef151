#pragma once
// An open DAT database: its header and the whole directory, loaded once when it is opened.
#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <unordered_map>
#include <vector>

#include "quillmere_dat/byte_cursor.hpp"
#include "quillmere_dat/error.hpp"
#include "quillmere_dat/file.hpp"

namespace quillmere_dat {

inline constexpr std::uint64_t kDatHeaderOffset = 320;
inline constexpr std::uint32_t kDatHeaderSize = 80;
inline constexpr std::uint32_t kRetailMagic = 0x5442;

struct DatHeader {
  std::uint32_t magic = 0;
  std::uint32_t block_size = 0;
  std::uint32_t file_size = 0;
  std::uint32_t dataset = 0;
  std::uint32_t subset = 0;
  std::uint32_t free_head = 0;
  std::uint32_t free_tail = 0;
  std::uint32_t free_count = 0;
  std::uint32_t root_offset = 0;
  std::uint32_t new_lru = 0;
  std::uint32_t old_lru = 0;
  std::uint32_t use_lru = 0;
  std::uint32_t master_map_id = 0;
  std::uint32_t engine_version = 0;
  std::uint32_t game_version = 0;
  std::array<std::uint8_t, 16> version_string{};
  std::uint32_t version_minor = 0;

  static ReadResult<DatHeader> read(ByteCursor& cursor);
};

enum class DatDatasetKind : std::uint8_t;
enum class DatFileType : std::uint32_t;

struct DatFileEntry {
  std::uint32_t bit_flags = 0;
  std::uint32_t id = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t timestamp = 0;
  std::uint32_t version = 0;

  static constexpr std::uint32_t kSize = 24;
  static ReadResult<DatFileEntry> read(ByteCursor& cursor);
  bool is_compressed() const { return (bit_flags & 1u) != 0; }
  DatFileType file_type_in_dat(DatDatasetKind kind) const;
};

class DatDatabase {
 public:
  static constexpr std::uint32_t kNodeSize = 1716;
  static constexpr std::uint32_t kNodeBranches = 62;
  static constexpr std::uint32_t kNodeEntriesOffset = 252;
  // Deeper than any real tree (a 1 GiB file holds fewer nodes than 62^5); a corrupt tree that
  // goes further is refused instead of walked.
  static constexpr std::uint32_t kMaxTreeDepth = 64;

  static DatResult<DatDatabase> open(const std::filesystem::path& path);

  const DatHeader& header() const { return header_; }
  const std::unordered_map<std::uint32_t, DatFileEntry>& entries() const { return entries_; }
  const utils::File& file() const { return file_; }

  // The payload of `id`, decompressed when its entry says so.
  DatResult<std::vector<std::uint8_t>> get_file(std::uint32_t id) const;
  // Exactly `size` bytes of the block chain starting at `offset`.
  DatResult<std::vector<std::uint8_t>> read_file_data(std::uint32_t offset, std::uint32_t size) const;
  // The file IDs in ascending order.
  std::vector<std::uint32_t> sorted_ids() const;

 private:
  DatDatabase(utils::File file, DatHeader header, std::uint64_t file_len)
      : file_(std::move(file)), header_(header), file_len_(file_len) {}
  // Recently read bytes of the file: the directory walk meets its nodes' blocks close together,
  // so one larger read serves many block reads.
  struct ReadWindow {
    std::vector<std::uint8_t> bytes;
    std::uint64_t start = 0;
  };
  DatResult<void> read_directory();
  DatResult<std::vector<std::uint8_t>> read_chain(std::uint32_t offset, std::uint32_t size, ReadWindow* window) const;
  DatResult<void> read_at(std::span<std::uint8_t> dst, std::uint64_t offset, ReadWindow* window) const;

  utils::File file_;
  DatHeader header_;
  std::uint64_t file_len_ = 0;
  std::unordered_map<std::uint32_t, DatFileEntry> entries_;
};

}  // namespace quillmere_dat
