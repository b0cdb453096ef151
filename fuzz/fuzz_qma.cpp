// Opens arbitrary bytes as an archive, looks up every indexed ID in every namespace and reads
// every payload.
#include "memfile.hpp"
#include "quillmere_dat/archive/reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmere_dat::archive;
  MemFile file(data, size, ".qma");
  auto reader = QmaReader::open(file.path());
  if (!reader) return 0;
  (void)reader->find_entry(0);
  (void)reader->find_entry(0xFFFFFFFF);
  // Bounded so a claimed index of millions of records stays a quick input.
  const std::uint32_t n = std::min<std::uint32_t>(reader->entry_count(), 4096);
  (void)reader->read_entries(0, n);
  for (std::uint32_t i = 0; i < n; ++i) {
    auto entry = reader->read_entry_at(i);
    if (!entry) continue;
    (void)entry->namespace_id();
    (void)reader->find_entry(entry->file_id);
    for (const auto& span : reader->spans()) (void)reader->find_entry_with_namespace_id(span.ns, entry->file_id);
    (void)reader->read_entry_data(*entry);
  }
  return 0;
}
