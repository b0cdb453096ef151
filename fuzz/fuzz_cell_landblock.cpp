// Decodes arbitrary bytes as a landblock terrain record.
#include "quillmere_dat/landblock.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)quillmere_dat::landblock::CellLandblock::unpack({data, size});
  return 0;
}
