#include "commands.hpp"

namespace dat_tool {

Result<void> run_info(const InfoArgs&, std::FILE*) { return std::unexpected(Error::msg("not implemented yet")); }

}  // namespace dat_tool
