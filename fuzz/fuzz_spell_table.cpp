// Decodes arbitrary bytes as the spell table and writes its full export document.
#include "quillmere_dat/file_type/spell_table.hpp"
#include "quillmere_tools/spell_export.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto table = quillmere_dat::file_type::spell_table::decode_spell_table({data, size});
  if (!table) {
    (void)table.error().message();
    return 0;
  }
  namespace se = quillmere_tools::spell_export;
  se::SpellExportRequest request;
  (void)se::write_document(se::export_spell_table(*table, request));
  return 0;
}
