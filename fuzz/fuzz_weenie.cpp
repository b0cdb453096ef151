// Decodes arbitrary bytes as one weenie record.
#include "quillmere_dat/weenie.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (auto w = quillmere_dat::weenie::Weenie::unpack({data, size})) {
    (void)w->name();
    (void)w->icon_id();
  }
  return 0;
}
