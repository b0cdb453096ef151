#include "commands.hpp"

namespace dat_tool {

Result<void> run_extract(const ExtractArgs&, std::FILE*) { return std::unexpected(Error::msg("not implemented yet")); }

}  // namespace dat_tool
