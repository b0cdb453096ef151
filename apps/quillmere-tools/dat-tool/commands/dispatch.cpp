#include "commands.hpp"

namespace dat_tool {

namespace {
template <class... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};
}  // namespace

Result<void> run_command(const Commands& command, std::FILE* out) {
  return std::visit(
      Overloaded{
          [&](const MetaArgs& a) { return run_meta(a, out); },
          [&](const ListArgs& a) { return run_list(a, out); },
          [&](const InfoArgs& a) { return run_info(a, out); },
          [&](const ExportArgs& a) { return run_export(a, out); },
          [&](const SpellExportArgs& a) { return run_spell_export(a, out); },
          [&](const ExtractArgs& a) { return run_extract(a, out); },
          [&](const WeenieArgs& a) { return run_weenie(a, out); },
          [&](const WeenieFindArgs& a) { return run_weenie_find(a, out); },
          [&](const LandblockArgs& a) { return run_landblock(a, out); },
          [&](const QmaPackArgs& a) { return run_qma_pack(a, out); },
          [&](const UnpackArgs& a) { return run_unpack(a, out); },
          [&](const VerifyArgs& a) { return run_verify(a, out); },
      },
      command);
}

}  // namespace dat_tool
