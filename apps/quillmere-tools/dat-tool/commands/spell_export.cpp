#include "commands.hpp"

namespace dat_tool {

Result<void> run_spell_export(const SpellExportArgs&, std::FILE*) { return std::unexpected(Error::msg("not implemented yet")); }

}  // namespace dat_tool
