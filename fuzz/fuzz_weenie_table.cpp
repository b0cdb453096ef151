// Decodes arbitrary bytes as a weenie table.
#include "quillmere_dat/weenie.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)quillmere_dat::weenie::WeenieTable::unpack({data, size});
  return 0;
}
