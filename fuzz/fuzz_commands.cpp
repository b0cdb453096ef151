// Runs every reading command on arbitrary bytes, once as a DAT database and once as an archive.
#include <cstdio>

#include "commands.hpp"
#include "memfile.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dat_tool;
  static std::FILE* sink = std::fopen("/dev/null", "w");
  for (const char* ext : {".dat", ".qma"}) {
    MemFile file(data, size, ext);
    const fs::path path = file.path();
    (void)run_meta({path}, sink);
    (void)run_list({path}, sink);
    for (const char* id : {"0x0E00000E", "0x0E100001", "0x3A5F0000", "0x06000001"}) {
      (void)run_info({path, id, std::nullopt}, sink);
      (void)run_info({path, id, std::string("eor/portal")}, sink);
      (void)run_weenie({path, id, std::nullopt}, sink);
      (void)run_landblock({path, id, std::nullopt}, sink);
    }
    (void)run_weenie_find({path, "4242"}, sink);
    (void)run_verify({path, std::nullopt}, sink);
    SpellExportArgs spells;
    spells.path = path;
    (void)run_spell_export(spells, sink);
  }
  std::fflush(sink);
  return 0;
}
