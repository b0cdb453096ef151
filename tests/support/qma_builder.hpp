#pragma once
// Builds archive bytes field by field, independently of the library's own codecs, so tests and
// fuzz seeds can make valid archives and archives broken in exactly one place.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qm_test {

using NsBytes = std::array<std::uint8_t, 32>;

// The label's bytes, zero-padded (or cut) to 32, without any validation.
NsBytes ns_bytes(std::string_view label);

struct QmaRecord {
  NsBytes ns{};
  std::uint32_t file_id = 0;
  std::uint32_t type_id = 0;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t comp_size = 0;
  std::uint8_t flags = 0;
  std::uint8_t storage_id = 0;
  std::uint16_t reserved = 0;
};

struct QmaSpanRecord {
  NsBytes ns{};
  std::uint32_t start_index = 0;
  std::uint32_t entry_count = 0;
};

class QmaArchiveBuilder {
 public:
  // Appends `stored` to the payload area and an index record pointing at it; `size` defaults to
  // the stored length. Records stay in the order added (add them sorted for a valid archive).
  QmaArchiveBuilder& add(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                         std::vector<std::uint8_t> stored, std::uint8_t flags = 0,
                         std::optional<std::uint32_t> size = std::nullopt);
  // The record added last, to break one field.
  QmaRecord& last() { return records_.back(); }
  std::vector<QmaRecord>& records() { return records_; }

  // Overrides; anything not set is derived from the entries.
  std::optional<std::array<std::uint8_t, 4>> magic;
  std::optional<std::uint32_t> version;
  std::optional<std::uint32_t> entry_count;
  std::optional<std::uint64_t> index_offset;
  std::optional<std::uint32_t> metadata_size;
  std::optional<std::vector<QmaSpanRecord>> spans;     // default: runs of equal namespaces
  std::optional<std::vector<std::uint8_t>> metadata;   // raw block instead of the encoded spans
  bool omit_metadata = false;                           // no block at all (metadata_size 0)
  std::vector<std::uint8_t> trailing;                   // bytes after the index

  // Header, payloads, metadata block, index, trailing bytes.
  std::vector<std::uint8_t> build() const;
  // The derived spans for the records added so far.
  std::vector<QmaSpanRecord> derived_spans() const;

 private:
  std::vector<std::vector<std::uint8_t>> payloads_;
  std::vector<QmaRecord> records_;
  std::uint64_t payload_end_ = 24;
};

// Little-endian helpers for hand-made byte strings.
void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v);
void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v);
void put_u64(std::vector<std::uint8_t>& out, std::uint64_t v);
std::vector<std::uint8_t> encode_header(const std::array<std::uint8_t, 4>& magic, std::uint32_t version,
                                        std::uint32_t entry_count, std::uint64_t index_offset,
                                        std::uint32_t metadata_size);
std::vector<std::uint8_t> encode_record(const QmaRecord& r);
std::vector<std::uint8_t> encode_span(const QmaSpanRecord& s);

// A decoded index record of an archive file, for checking what a writer produced.
struct ParsedQma {
  std::uint32_t version = 0;
  std::uint32_t entry_count = 0;
  std::uint64_t index_offset = 0;
  std::uint32_t metadata_size = 0;
  std::vector<QmaSpanRecord> spans;
  std::vector<QmaRecord> records;
};
// Decodes a well-formed archive (throws std::runtime_error when it is too short to parse).
ParsedQma parse_qma(const std::vector<std::uint8_t>& bytes);

}  // namespace qm_test
