#include "commands.hpp"

namespace dat_tool {

Result<void> run_list(const ListArgs&, std::FILE*) { return std::unexpected(Error::msg("not implemented yet")); }

}  // namespace dat_tool
