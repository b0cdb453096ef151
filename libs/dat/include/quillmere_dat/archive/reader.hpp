#pragma once
// Reads a QMA archive: validates header and namespace metadata on opening, keeps the index
// on disk and reads records and payloads with positional reads.
#include <cstdint>
#include <functional>
#include <span>
#include <filesystem>
#include <vector>

#include "quillmere_dat/archive/records.hpp"
#include "quillmere_dat/file.hpp"

namespace quillmere_dat::archive {

struct NamespaceSpan {
  ResourceNamespace ns;
  std::uint32_t start_index = 0;
  std::uint32_t entry_count = 0;
};

class QmaReader {
 public:
  static DatResult<QmaReader> open(const std::filesystem::path& path);
  static DatResult<QmaReader> from_source(utils::File file);

  const QmaHeader& header() const { return header_; }
  std::uint32_t version() const { return header_.version; }
  std::uint32_t entry_count() const { return header_.entry_count; }
  std::uint64_t index_offset() const { return header_.index_offset; }
  std::uint32_t metadata_size() const { return header_.metadata_size; }
  const std::vector<NamespaceSpan>& spans() const { return spans_; }
  std::uint64_t file_len() const { return file_len_; }
  const utils::File& file() const { return file_; }

  DatResult<QmaEntry> find_entry(std::uint32_t file_id) const;
  DatResult<QmaEntry> find_entry_with_namespace_id(const ResourceNamespace& ns,
                                                   std::uint32_t file_id) const;
  // The record at index position `index`. Positions at or past entry_count() are not part of
  // the index and are refused with DatError::Other.
  DatResult<QmaEntry> read_entry_at(std::uint32_t index) const;
  // `count` consecutive records from `first` in one read (for listing the whole index); the
  // buffer is 60 x count bytes, so callers walk a large index in blocks.
  DatResult<std::vector<QmaEntry>> read_entries(std::uint32_t first, std::uint32_t count) const;
  // The payload, decompressed when the entry is compressed. A compressed entry's output buffer
  // follows what its frame can produce, never the bare `size` claim.
  DatResult<std::vector<std::uint8_t>> read_entry_data(const QmaEntry& entry) const;
  // The same payload handed to `sink` in pieces, with the same checks and errors; a compressed
  // payload never sits in memory whole. A DatError from the sink ends the read with that error.
  using PayloadSink = std::function<DatResult<void>(std::span<const std::uint8_t>)>;
  DatResult<void> read_entry_data_to(const QmaEntry& entry, const PayloadSink& sink) const;

 private:
  QmaReader(utils::File file, QmaHeader header, std::uint64_t len, std::vector<NamespaceSpan> spans)
      : file_(std::move(file)), header_(header), file_len_(len), spans_(std::move(spans)) {}

  utils::File file_;
  QmaHeader header_;
  std::uint64_t file_len_ = 0;
  std::vector<NamespaceSpan> spans_;
};

}  // namespace quillmere_dat::archive
