#include <fmt/format.h>

#include "commands.hpp"
#include "output_file.hpp"
#include "provider.hpp"
#include "quoting.hpp"

namespace dat_tool {

Result<void> run_export(const ExportArgs& args, std::FILE* out) {
  QM_TRY(auto provider, Provider::open(args.path));
  QM_TRY(const std::uint32_t id, parse_id_auto(args.id));
  auto payload = provider.get_file_in_namespace(args.ns, id);
  if (!payload) return std::unexpected(Error::from(payload.error()));
  const std::filesystem::path target =
      args.output ? *args.output : std::filesystem::path(provider.default_export_name(args.ns, id));
  if (auto w = write_file_whole(target, *payload); !w) return std::unexpected(Error::from_io(w.error()));
  fmt::print(out, "Exported {:08X} to {}\n", id, quoted(target));
  return {};
}

}  // namespace dat_tool
