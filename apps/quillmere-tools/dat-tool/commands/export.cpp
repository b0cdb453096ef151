#include <fmt/format.h>

#include "commands.hpp"
#include "output_file.hpp"
#include "provider.hpp"
#include "quoting.hpp"

namespace dat_tool {

namespace {

// An archive entry goes to the file as it decompresses, so a large payload never sits in memory
// whole; the temporary file opens with the first piece, so a lookup or damage found before any
// output writes nothing.
Result<void> export_archive_entry(const Provider& provider, const ExportArgs& args, std::uint32_t id, std::FILE* out) {
  auto entry = provider.get_qma_entry(args.ns, id);
  if (!entry) return std::unexpected(Error::from(entry.error()));
  const std::filesystem::path target =
      args.output ? *args.output : std::filesystem::path(provider.default_export_name(args.ns, id));
  std::optional<PendingFile> file;
  std::optional<quillmere_dat::IoError> write_error;
  auto sink = [&](std::span<const std::uint8_t> piece) -> quillmere_dat::DatResult<void> {
    if (!file) {
      auto created = PendingFile::create(target);
      if (!created) write_error = created.error();
      else file.emplace(std::move(*created));
    }
    if (file && !write_error) {
      if (auto w = file->write(piece); !w) write_error = w.error();
    }
    if (write_error) return std::unexpected(quillmere_dat::DatError::io(*write_error));
    return {};
  };
  auto read = provider.qma()->read_entry_data_to(**entry, sink);
  if (!read) {
    if (write_error) return std::unexpected(Error::from_io(*write_error));
    return std::unexpected(Error::from(read.error()));
  }
  if (!file) {  // an empty payload
    if (auto w = write_file_whole(target, std::span<const std::uint8_t>{}); !w) return std::unexpected(Error::from_io(w.error()));
  } else if (auto c = file->commit(); !c) {
    return std::unexpected(Error::from_io(c.error()));
  }
  fmt::print(out, "Exported {:08X} to {}\n", id, quoted(target));
  return {};
}

}  // namespace

Result<void> run_export(const ExportArgs& args, std::FILE* out) {
  QM_TRY(auto provider, Provider::open(args.path));
  QM_TRY(const std::uint32_t id, parse_id_auto(args.id));
  if (provider.qma()) return export_archive_entry(provider, args, id, out);
  auto payload = provider.get_file_in_namespace(args.ns, id);
  if (!payload) return std::unexpected(Error::from(payload.error()));
  const std::filesystem::path target =
      args.output ? *args.output : std::filesystem::path(provider.default_export_name(args.ns, id));
  if (auto w = write_file_whole(target, *payload); !w) return std::unexpected(Error::from_io(w.error()));
  fmt::print(out, "Exported {:08X} to {}\n", id, quoted(target));
  return {};
}

}  // namespace dat_tool
