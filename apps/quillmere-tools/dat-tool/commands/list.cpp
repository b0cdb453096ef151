#include "archive_scan.hpp"
#include "commands.hpp"
#include "line_writer.hpp"
#include "provider.hpp"
#include "quillmere_dat/file_type.hpp"
#include "type_label.hpp"

namespace dat_tool {

Result<void> run_list(const ListArgs& args, std::FILE* out) {
  QM_TRY(auto provider, Provider::open(args.path));
  LineWriter w(out);
  if (const auto* db = provider.dat()) {
    const auto kind = quillmere_dat::dataset_kind(db->header());
    for (std::uint32_t id : db->sorted_ids()) {
      const auto& e = db->entries().at(id);
      w.line("{:08X} - {:<25} - Size: {:<10} - Offset: {:08X} - Flags: {:08X}", id,
             quillmere_dat::label(e.file_type_in_dat(kind)), e.size, e.offset, e.bit_flags);
    }
    return {};
  }
  return for_each_index_record(*provider.qma(), [&](const quillmere_dat::archive::QmaEntry& e) -> Result<void> {
    auto ns = e.namespace_id();
    if (!ns) return std::unexpected(Error::from(ns.error()));
    w.line("{}:{:08X} - {:<28} - Size: {:<10} - Offset: {:08X} - Flags: {:02X}", ns->as_str(), e.file_id,
           format_type_label(e.type_id), e.size, e.offset, e.flags);
    return {};
  });
}

}  // namespace dat_tool
