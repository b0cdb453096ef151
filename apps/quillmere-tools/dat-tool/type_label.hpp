#pragma once
#include <cstdint>
#include <string>

namespace dat_tool {

// "{label} (0x{code:08X})", or "Unknown (0x{code:08X})" for 0 and codes that name no type.
std::string format_type_label(std::uint32_t code);

}  // namespace dat_tool
