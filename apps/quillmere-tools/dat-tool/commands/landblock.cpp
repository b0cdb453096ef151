#include "commands.hpp"

namespace dat_tool {

Result<void> run_landblock(const LandblockArgs&, std::FILE*) { return std::unexpected(Error::msg("not implemented yet")); }

}  // namespace dat_tool
