#include "quillmere_dat/archive/records.hpp"

#include <algorithm>

namespace quillmere_dat::archive {

namespace {

template <std::size_t N>
ReadResult<std::array<std::uint8_t, N>> read_array(ByteCursor& c) {
  auto bytes = c.read_bytes(N);
  if (!bytes) return std::unexpected(std::move(bytes).error());
  std::array<std::uint8_t, N> out{};
  std::copy(bytes->begin(), bytes->end(), out.begin());
  return out;
}

template <class T>
void put_le(std::vector<std::uint8_t>& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

template <std::size_t N>
void put_bytes(std::vector<std::uint8_t>& out, const std::array<std::uint8_t, N>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

ReadResult<QmaHeader> QmaHeader::read(ByteCursor& c) {
  RecordScope r(c, "QmaHeader");
  QmaHeader h;
  QM_TRY(h.magic, r.field("magic", read_array<4>(c)));
  QM_TRY(h.version, r.field("version", c.read_u32()));
  QM_TRY(h.entry_count, r.field("entry_count", c.read_u32()));
  QM_TRY(h.index_offset, r.field("index_offset", c.read_u64()));
  QM_TRY(h.metadata_size, r.field("metadata_size", c.read_u32()));
  return h;
}

void QmaHeader::write(std::vector<std::uint8_t>& out) const {
  put_bytes(out, magic);
  put_le(out, version);
  put_le(out, entry_count);
  put_le(out, index_offset);
  put_le(out, metadata_size);
}

ReadResult<QmaEntry> QmaEntry::read(ByteCursor& c) {
  RecordScope r(c, "QmaEntry");
  QmaEntry e;
  QM_TRY(e.namespace_bytes, r.field("namespace", read_array<ResourceNamespace::kSize>(c)));
  QM_TRY(e.file_id, r.field("file_id", c.read_u32()));
  QM_TRY(e.type_id, r.field("type_id", c.read_u32()));
  QM_TRY(e.offset, r.field("offset", c.read_u64()));
  QM_TRY(e.size, r.field("size", c.read_u32()));
  QM_TRY(e.comp_size, r.field("comp_size", c.read_u32()));
  QM_TRY(e.flags, r.field("flags", c.read_u8()));
  QM_TRY(e.storage_id, r.field("storage_id", c.read_u8()));
  QM_TRY(e.reserved, r.field("reserved", c.read_u16()));
  return e;
}

void QmaEntry::write(std::vector<std::uint8_t>& out) const {
  put_bytes(out, namespace_bytes);
  put_le(out, file_id);
  put_le(out, type_id);
  put_le(out, offset);
  put_le(out, size);
  put_le(out, comp_size);
  put_le(out, flags);
  put_le(out, storage_id);
  put_le(out, reserved);
}

DatResult<ResourceNamespace> QmaEntry::namespace_id() const { return ResourceNamespace::from_bytes(namespace_bytes); }

ReadResult<QmaNamespaceIndexEntry> QmaNamespaceIndexEntry::read(ByteCursor& c) {
  RecordScope r(c, "QmaNamespaceIndexEntry");
  QmaNamespaceIndexEntry e;
  QM_TRY(e.namespace_bytes, r.field("namespace", read_array<ResourceNamespace::kSize>(c)));
  QM_TRY(e.start_index, r.field("start_index", c.read_u32()));
  QM_TRY(e.entry_count, r.field("entry_count", c.read_u32()));
  return e;
}

void QmaNamespaceIndexEntry::write(std::vector<std::uint8_t>& out) const {
  put_bytes(out, namespace_bytes);
  put_le(out, start_index);
  put_le(out, entry_count);
}

}  // namespace quillmere_dat::archive
