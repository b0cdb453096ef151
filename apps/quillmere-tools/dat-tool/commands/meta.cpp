#include <map>

#include "archive_scan.hpp"
#include "commands.hpp"
#include "line_writer.hpp"
#include "provider.hpp"
#include "quillmere_dat/file_type.hpp"

namespace dat_tool {

Result<void> run_meta(const MetaArgs& args, std::FILE* out) {
  QM_TRY(auto provider, Provider::open(args.path));
  LineWriter w(out);
  w.line("Loaded {} provider with {} files.", provider.kind_label(), provider.file_count());
  w.line("--- Meta Information ---");
  w.line("Provider:    {}", provider.kind_label());
  w.line("File Count:  {}", provider.file_count());

  if (const auto* db = provider.dat()) {
    const auto& h = db->header();
    w.line("Magic:       0x{:08X}", h.magic);
    w.line("Block Size:  {}", h.block_size);
    w.line("Dataset:     {}", h.dataset);
    switch (quillmere_dat::dataset_kind(h)) {
      case quillmere_dat::DatDatasetKind::Portal: w.line("Namespace:   eor/portal"); break;
      case quillmere_dat::DatDatasetKind::Cell: w.line("Namespace:   eor/cell"); break;
      default: w.line("Namespace:   <unknown retail dataset>"); break;
    }
    return {};
  }

  const auto& reader = *provider.qma();
  w.line("Version:     {}", reader.version());
  w.line("Index Offs:  0x{:08X}", reader.index_offset());
  w.line("Meta Size:   {}", reader.metadata_size());
  std::map<std::string, std::uint64_t, std::less<>> counts;  // byte-wise label order
  auto scanned = for_each_index_record(reader, [&](const quillmere_dat::archive::QmaEntry& e) -> Result<void> {
    auto ns = e.namespace_id();
    if (!ns) return std::unexpected(Error::from(ns.error()));
    auto it = counts.find(ns->as_str());
    if (it == counts.end()) it = counts.emplace(std::string(ns->as_str()), 0).first;
    ++it->second;
    return {};
  });
  if (!scanned) return scanned;
  w.line("Namespaces:  {}", counts.size());
  for (const auto& [label, count] : counts) w.line("  {} -> {} entries", label, count);
  return {};
}

}  // namespace dat_tool
