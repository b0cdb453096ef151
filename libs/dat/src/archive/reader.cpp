#include "quillmere_dat/archive/reader.hpp"

#include <algorithm>
#include <array>

#include <fmt/format.h>

#include "zstd_codec.hpp"

namespace quillmere_dat::archive {

namespace {

constexpr std::uint64_t kEntrySize = QmaEntry::kSize;

DatError corruption(std::string message) { return DatError::corruption(std::move(message)); }

// The namespace spans of the metadata block, checked against each other and the header.
DatResult<std::vector<NamespaceSpan>> read_spans(const utils::File& file, std::uint64_t metadata_offset,
                                                 std::uint32_t metadata_size, std::uint32_t total) {
  std::vector<NamespaceSpan> spans;
  if (metadata_size == 0) return spans;
  // The header checks put the whole block inside the file, so its size is backed by data.
  std::vector<std::uint8_t> block(metadata_size);
  if (auto r = utils::read_exact_at_compat(file, block, metadata_offset); !r)
    return std::unexpected(DatError::io(r.error()));
  ByteCursor cursor(block);
  auto count = cursor.read_u32();
  if (!count) return std::unexpected(DatError::bin_read(std::move(count).error()));
  const std::uint64_t required = 4 + std::uint64_t{40} * *count;
  if (required != metadata_size)
    return std::unexpected(corruption(fmt::format(
        "QMA metadata size mismatch: header says {}, metadata contents require {}", metadata_size, required)));

  std::uint32_t expected_start = 0;
  for (std::uint32_t k = 0; k < *count; ++k) {
    auto record = QmaNamespaceIndexEntry::read(cursor);
    if (!record) return std::unexpected(DatError::bin_read(std::move(record).error()));
    auto ns = ResourceNamespace::from_bytes(record->namespace_bytes);
    if (!ns) return std::unexpected(std::move(ns).error());
    if (k > 0 && !(spans.back().ns < *ns))
      return std::unexpected(corruption("QMA namespace metadata is not strictly sorted"));
    if (record->start_index != expected_start)
      return std::unexpected(corruption(fmt::format("QMA namespace metadata is not contiguous: expected start {}, found {}",
                                                    expected_start, record->start_index)));
    const std::uint64_t end = std::uint64_t{record->start_index} + record->entry_count;
    if (end > UINT32_MAX) return std::unexpected(corruption("QMA namespace span overflow"));
    if (end > total)
      return std::unexpected(
          corruption(fmt::format("QMA namespace span exceeds total entry count ({} > {})", end, total)));
    spans.push_back({*ns, record->start_index, record->entry_count});
    expected_start = static_cast<std::uint32_t>(end);
  }
  if (expected_start != total)
    return std::unexpected(corruption(
        fmt::format("QMA namespace metadata covered {} entries but header declares {}", expected_start, total)));
  return spans;
}

}  // namespace

DatResult<QmaReader> QmaReader::open(const std::filesystem::path& path) {
  auto file = utils::File::open_read(path);
  if (!file) return std::unexpected(DatError::path_error(path, file.error()));
  return from_source(std::move(*file));
}

DatResult<QmaReader> QmaReader::from_source(utils::File file) {
  std::array<std::uint8_t, QmaHeader::kSize> raw{};
  if (auto r = utils::read_exact_at_compat(file, raw, 0); !r) return std::unexpected(DatError::io(r.error()));
  ByteCursor cursor(raw);
  auto header = QmaHeader::read(cursor);
  if (!header) return std::unexpected(DatError::bin_read(std::move(header).error()));
  if (header->magic != kQmaMagic) return std::unexpected(DatError::invalid_magic("QMA"));
  if (header->version != kQmaVersion) return std::unexpected(DatError::unsupported_version(header->version));

  auto len = utils::len_compat(file);
  if (!len) return std::unexpected(DatError::io(len.error()));

  const std::uint64_t index_size = kEntrySize * header->entry_count;
  if (index_size > UINT32_MAX) return std::unexpected(corruption("QMA index size overflow"));
  if (header->index_offset > UINT64_MAX - index_size) return std::unexpected(corruption("QMA index range overflow"));
  const std::uint64_t index_end = header->index_offset + index_size;
  if (index_end > *len)
    return std::unexpected(corruption(fmt::format("QMA index extends beyond file size ({} > {})", index_end, *len)));
  if (header->index_offset < header->metadata_size) return std::unexpected(corruption("QMA metadata offset underflow"));
  const std::uint64_t metadata_offset = header->index_offset - header->metadata_size;
  if (metadata_offset < QmaHeader::kSize)
    return std::unexpected(corruption(fmt::format("QMA metadata offset {} is within header area", metadata_offset)));
  if (header->entry_count != 0 && header->metadata_size == 0)
    return std::unexpected(corruption("QMA v2 archives with entries must include namespace metadata"));

  auto spans = read_spans(file, metadata_offset, header->metadata_size, header->entry_count);
  if (!spans) return std::unexpected(std::move(spans).error());
  return QmaReader(std::move(file), *header, *len, std::move(*spans));
}

DatResult<QmaEntry> QmaReader::find_entry(std::uint32_t file_id) const {
  if (spans_.size() == 1) return find_entry_with_namespace_id(spans_.front().ns, file_id);
  if (spans_.size() > 1)
    return std::unexpected(
        DatError::other("QMA v2 archive contains multiple namespaces; explicit namespace lookup is required"));
  return std::unexpected(DatError::not_found(file_id));
}

DatResult<QmaEntry> QmaReader::find_entry_with_namespace_id(const ResourceNamespace& ns, std::uint32_t file_id) const {
  const auto span = std::lower_bound(spans_.begin(), spans_.end(), ns,
                                     [](const NamespaceSpan& s, const ResourceNamespace& n) { return s.ns < n; });
  if (span == spans_.end() || span->ns != ns || span->entry_count == 0)
    return std::unexpected(DatError::not_found(file_id));

  // Both bounds inclusive; the span was validated to lie inside the index.
  std::uint32_t low = span->start_index;
  std::uint32_t high = span->start_index + span->entry_count - 1;
  while (low <= high) {
    const std::uint32_t mid = low + (high - low) / 2;
    auto entry = read_entry_at(mid);
    if (!entry) return std::unexpected(std::move(entry).error());
    if (entry->file_id == file_id) return entry;
    if (entry->file_id > file_id) {
      if (mid == span->start_index) break;
      high = mid - 1;
    } else {
      low = mid + 1;  // cannot wrap: high < UINT32_MAX since start + count fits in 32 bits
    }
  }
  return std::unexpected(DatError::not_found(file_id));
}

DatResult<QmaEntry> QmaReader::read_entry_at(std::uint32_t index) const {
  if (index >= header_.entry_count)
    return std::unexpected(DatError::other(
        fmt::format("QMA index position {} is beyond the {} index records", index, header_.entry_count)));
  auto entries = read_entries(index, 1);
  if (!entries) return std::unexpected(std::move(entries).error());
  return entries->front();
}

DatResult<std::vector<QmaEntry>> QmaReader::read_entries(std::uint32_t first, std::uint32_t count) const {
  if (count == 0) return std::vector<QmaEntry>{};
  // Positions past the header's count are not part of the index, whatever bytes lie there.
  if (std::uint64_t{first} + count > header_.entry_count)
    return std::unexpected(DatError::other(fmt::format(
        "QMA index positions {} to {} are beyond the {} index records", first, std::uint64_t{first} + count - 1,
        header_.entry_count)));
  // Within the validated index, so the buffer is backed by the file.
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(kEntrySize * count));
  if (auto r = utils::read_exact_at_compat(file_, raw, header_.index_offset + kEntrySize * first); !r)
    return std::unexpected(DatError::io(r.error()));
  ByteCursor cursor(raw);
  std::vector<QmaEntry> out;
  out.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    auto entry = QmaEntry::read(cursor);
    if (!entry) return std::unexpected(DatError::bin_read(std::move(entry).error()));
    out.push_back(*entry);
  }
  return out;
}

namespace {

DatResult<void> check_range(const QmaEntry& entry, std::uint64_t file_len) {
  if (entry.offset > UINT64_MAX - entry.comp_size)
    return std::unexpected(corruption(fmt::format("Entry offset overflow for 0x{:08X}: offset {} + comp_size {}",
                                                  entry.file_id, entry.offset, entry.comp_size)));
  if (entry.offset + entry.comp_size > file_len)
    return std::unexpected(corruption(fmt::format("Entry range out of bounds for 0x{:08X}: offset {} + comp_size {} > file_len {}",
                                                  entry.file_id, entry.offset, entry.comp_size, file_len)));
  return {};
}

DatError size_mismatch(const QmaEntry& entry, std::uint64_t got) {
  return corruption(fmt::format("Decompressed size mismatch for 0x{:08X}: expected {}, got {}", entry.file_id,
                                entry.size, got));
}

}  // namespace

DatResult<std::vector<std::uint8_t>> QmaReader::read_entry_data(const QmaEntry& entry) const {
  QM_TRY_VOID(check_range(entry, file_len_));
  std::vector<std::uint8_t> stored(entry.comp_size);
  if (auto r = utils::read_exact_at_compat(file_, stored, entry.offset); !r)
    return std::unexpected(DatError::io(r.error()));
  if (!entry.is_compressed()) return stored;

  auto payload = detail::decompress_bounded(stored, entry.size);
  if (!payload) return std::unexpected(DatError::decompression_failed(entry.file_id));
  if (payload->size() != entry.size) return std::unexpected(size_mismatch(entry, payload->size()));
  return std::move(*payload);
}

DatResult<void> QmaReader::read_entry_data_to(const QmaEntry& entry, const PayloadSink& sink) const {
  QM_TRY_VOID(check_range(entry, file_len_));
  std::vector<std::uint8_t> stored(entry.comp_size);
  if (auto r = utils::read_exact_at_compat(file_, stored, entry.offset); !r)
    return std::unexpected(DatError::io(r.error()));
  if (!entry.is_compressed()) return sink(stored);

  std::optional<DatError> refused;
  auto outcome = detail::decompress_to(stored, entry.size, [&](std::span<const std::uint8_t> piece) {
    if (auto r = sink(piece); !r) {
      refused = std::move(r).error();
      return false;
    }
    return true;
  });
  if (outcome.sink_refused) return std::unexpected(std::move(*refused));
  if (!outcome.ok) return std::unexpected(DatError::decompression_failed(entry.file_id));
  if (outcome.produced != entry.size) return std::unexpected(size_mismatch(entry, outcome.produced));
  return {};
}

}  // namespace quillmere_dat::archive
