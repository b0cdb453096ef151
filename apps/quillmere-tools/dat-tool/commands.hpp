#pragma once
// One function per subcommand; each writes its report to `out` and returns success or one error.
#include <cstdio>

#include "cli.hpp"
#include "error.hpp"

namespace dat_tool {

Result<void> run_meta(const MetaArgs& args, std::FILE* out);
Result<void> run_list(const ListArgs& args, std::FILE* out);
Result<void> run_info(const InfoArgs& args, std::FILE* out);
Result<void> run_export(const ExportArgs& args, std::FILE* out);
Result<void> run_spell_export(const SpellExportArgs& args, std::FILE* out);
Result<void> run_extract(const ExtractArgs& args, std::FILE* out);
Result<void> run_weenie(const WeenieArgs& args, std::FILE* out);
Result<void> run_weenie_find(const WeenieFindArgs& args, std::FILE* out);
Result<void> run_landblock(const LandblockArgs& args, std::FILE* out);
Result<void> run_qma_pack(const QmaPackArgs& args, std::FILE* out);
Result<void> run_unpack(const UnpackArgs& args, std::FILE* out);
Result<void> run_verify(const VerifyArgs& args, std::FILE* out);

Result<void> run_command(const Commands& command, std::FILE* out);

}  // namespace dat_tool
