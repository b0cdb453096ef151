#pragma once
// The archive's fixed records: header (24 bytes), index entry (60), namespace span (40).
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "quillmere_dat/archive/namespace.hpp"
#include "quillmere_dat/byte_cursor.hpp"

namespace quillmere_dat::archive {

inline constexpr std::array<std::uint8_t, 4> kQmaMagic = {0x51, 0x4D, 0x41, 0x00};
inline constexpr std::uint32_t kQmaVersion = 2;
inline constexpr std::uint8_t kFlagCompressed = 0x01;
inline constexpr std::uint8_t kFlagPruned = 0x04;
// 60 x entries must fit in 32 bits.
inline constexpr std::uint32_t kQmaMaxEntries = 71'582'788;
// Sizes are 32-bit: a payload must be shorter than 4 GiB.
inline constexpr std::uint64_t kQmaMaxPayloadSize = 0xFFFF'FFFFull;

struct QmaHeader {
  static constexpr std::size_t kSize = 24;
  std::array<std::uint8_t, 4> magic = kQmaMagic;
  std::uint32_t version = kQmaVersion;
  std::uint32_t entry_count = 0;
  std::uint64_t index_offset = 0;
  std::uint32_t metadata_size = 0;

  static ReadResult<QmaHeader> read(ByteCursor& cursor);
  void write(std::vector<std::uint8_t>& out) const;
};

struct QmaEntry {
  static constexpr std::size_t kSize = 60;
  ResourceNamespace::Bytes namespace_bytes{};  // raw; validated by namespace_id()
  std::uint32_t file_id = 0;
  std::uint32_t type_id = 0;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t comp_size = 0;
  std::uint8_t flags = 0;
  std::uint8_t storage_id = 0;
  std::uint16_t reserved = 0;

  static ReadResult<QmaEntry> read(ByteCursor& cursor);
  void write(std::vector<std::uint8_t>& out) const;
  DatResult<ResourceNamespace> namespace_id() const;
  bool is_compressed() const { return (flags & kFlagCompressed) != 0; }
  bool is_pruned() const { return (flags & kFlagPruned) != 0; }
};

struct QmaNamespaceIndexEntry {
  static constexpr std::size_t kSize = 40;
  ResourceNamespace::Bytes namespace_bytes{};
  std::uint32_t start_index = 0;
  std::uint32_t entry_count = 0;

  static ReadResult<QmaNamespaceIndexEntry> read(ByteCursor& cursor);
  void write(std::vector<std::uint8_t>& out) const;
};

}  // namespace quillmere_dat::archive
