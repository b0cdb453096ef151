#include "type_label.hpp"

#include <fmt/format.h>

#include "quillmere_dat/file_type.hpp"

namespace dat_tool {

std::string format_type_label(std::uint32_t code) {
  auto type = quillmere_dat::file_type_from_code(code);
  if (!type || *type == quillmere_dat::DatFileType::Unknown) return fmt::format("Unknown (0x{:08X})", code);
  return fmt::format("{} (0x{:08X})", quillmere_dat::label(*type), code);
}

}  // namespace dat_tool
