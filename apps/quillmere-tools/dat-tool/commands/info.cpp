#include "commands.hpp"
#include "line_writer.hpp"
#include "provider.hpp"
#include "quillmere_dat/file_type.hpp"
#include "type_label.hpp"

namespace dat_tool {

Result<void> run_info(const InfoArgs& args, std::FILE* out) {
  QM_TRY(auto provider, Provider::open(args.path));
  QM_TRY(const std::uint32_t id, parse_id_auto(args.id));
  LineWriter w(out);
  if (const auto* db = provider.dat()) {
    auto it = db->entries().find(id);
    if (it == db->entries().end()) {
      w.line("File ID {:08X} not found.", id);
      return {};
    }
    const auto& e = it->second;
    w.line("File ID: {:08X}", e.id);
    w.line("Type:    {}", quillmere_dat::label(e.file_type_in_dat(quillmere_dat::dataset_kind(db->header()))));
    w.line("Size:    {}", e.size);
    w.line("Offset:  {:08X}", e.offset);
    w.line("Flags:   {:08X}", e.bit_flags);
    return {};
  }
  auto found = provider.get_qma_entry(args.ns, id);
  if (!found) return std::unexpected(Error::from(found.error()));
  const auto& e = **found;
  auto ns = e.namespace_id();
  if (!ns) return std::unexpected(Error::from(ns.error()));
  w.line("Namespace: {}", ns->as_str());
  w.line("File ID:   {:08X}", e.file_id);
  w.line("Type:      {}", format_type_label(e.type_id));
  w.line("Size:      {}", e.size);
  w.line("Offset:    {:08X}", e.offset);
  w.line("Flags:     {:02X}", e.flags);
  w.line("Pruned:    {}", e.is_pruned());
  w.line("Compressed:{}", e.is_compressed());
  return {};
}

}  // namespace dat_tool
