#pragma once
// Paths as messages show them.
#include <filesystem>
#include <string>

namespace dat_tool {

// Between double quotes; `"` and `\` escaped, control characters as \t \r \n \0 or \u{..},
// bytes that are not UTF-8 as \xNN.
std::string quoted(const std::filesystem::path& path);
// As typed, with bytes that are not UTF-8 shown as U+FFFD.
std::string display(const std::filesystem::path& path);

}  // namespace dat_tool
