// Reads arbitrary bytes as length-prefixed and scrambled strings; the result is always UTF-8.
#include <cstdlib>

#include "quillmere_dat/text.hpp"

namespace {

bool valid_utf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmere_dat;
  if (!valid_utf8(utils::decode_stored_text({data, size}))) std::abort();
  for (unsigned width : {1u, 2u, 4u}) {
    ByteCursor c({data, size});
    while (auto s = utils::read_pstring(c, width)) {
      if (!valid_utf8(*s)) std::abort();
      if (c.remaining() == 0) break;
    }
  }
  ByteCursor c({data, size});
  while (auto s = utils::read_obfuscated_string(c))
    if (!valid_utf8(*s) || c.remaining() == 0) break;
  return 0;
}
