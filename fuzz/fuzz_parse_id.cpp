// Parses arbitrary text as a user-typed file ID and as a packed file name's hexadecimal part.
#include <cstdlib>
#include <string_view>

#include "provider.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto id = dat_tool::parse_id_auto(text);
  if (id && dat_tool::parse_id_auto(std::to_string(*id)).value_or(*id + 1) != *id) std::abort();
  (void)dat_tool::parse_hex_u32(text);
  return 0;
}
