// Opens arbitrary bytes as a DAT database and fetches every entry.
#include "memfile.hpp"
#include "quillmere_dat/database.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemFile file(data, size, ".dat");
  auto db = quillmere_dat::DatDatabase::open(file.path());
  if (!db) return 0;
  for (std::uint32_t id : db->sorted_ids()) (void)db->get_file(id);
  return 0;
}
