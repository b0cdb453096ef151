#include "commands.hpp"

namespace dat_tool {

Result<void> run_weenie_find(const WeenieFindArgs&, std::FILE*) { return std::unexpected(Error::msg("not implemented yet")); }

}  // namespace dat_tool
