#include "quillmere_dat/archive/reader.hpp"

namespace quillmere_dat::archive {

// Placeholder until the archive reader lands.
DatResult<QmaReader> QmaReader::open(const std::filesystem::path&) {
  return std::unexpected(DatError::other("QMA archives are not supported yet"));
}
DatResult<QmaReader> QmaReader::from_source(utils::File) {
  return std::unexpected(DatError::other("QMA archives are not supported yet"));
}
DatResult<QmaEntry> QmaReader::find_entry(std::uint32_t id) const { return std::unexpected(DatError::not_found(id)); }
DatResult<QmaEntry> QmaReader::find_entry_with_namespace_id(const ResourceNamespace&, std::uint32_t id) const {
  return std::unexpected(DatError::not_found(id));
}
DatResult<QmaEntry> QmaReader::read_entry_at(std::uint32_t) const { return std::unexpected(DatError::other("unsupported")); }
DatResult<std::vector<QmaEntry>> QmaReader::read_entries(std::uint32_t, std::uint32_t) const {
  return std::unexpected(DatError::other("unsupported"));
}
DatResult<std::vector<std::uint8_t>> QmaReader::read_entry_data(const QmaEntry& e) const {
  return std::unexpected(DatError::not_found(e.file_id));
}
DatResult<ResourceNamespace> QmaEntry::namespace_id() const { return ResourceNamespace::from_bytes(namespace_bytes); }
DatResult<ResourceNamespace> ResourceNamespace::from_bytes(const Bytes& b) { return ResourceNamespace(b); }
DatResult<ResourceNamespace> ResourceNamespace::create(std::string_view) {
  return std::unexpected(DatError::invalid_namespace("unsupported"));
}
std::string_view ResourceNamespace::as_str() const { return {}; }

}  // namespace quillmere_dat::archive
