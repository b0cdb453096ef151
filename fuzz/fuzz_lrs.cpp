// Decompresses arbitrary bytes; the output never exceeds the declared size.
#include <cstdlib>
#include <cstring>

#include "quillmere_dat/lrs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto out = quillmere_dat::utils::decompress_lrs({data, size});
  if (size >= 4) {
    std::uint32_t declared;
    std::memcpy(&declared, data, 4);
    if (out.size() > declared) std::abort();
  }
  return 0;
}
