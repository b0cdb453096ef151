#include "commands.hpp"

namespace dat_tool {

Result<void> run_qma_pack(const QmaPackArgs&, std::FILE*) { return std::unexpected(Error::msg("not implemented yet")); }

}  // namespace dat_tool
