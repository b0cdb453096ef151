// Decodes arbitrary bytes as a landblock's static-object record and prints its building positions.
#include "quillmere_common/math.hpp"
#include "quillmere_dat/landblock.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (auto info = quillmere_dat::landblock::LandblockInfo::unpack({data, size}))
    for (const auto& b : info->buildings) (void)quillmere_common::math::debug_text(b.frame.origin);
  return 0;
}
