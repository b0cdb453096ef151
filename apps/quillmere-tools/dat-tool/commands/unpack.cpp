// unpack: every entry of a container as a file named [ID].[TYPE], the form qma-pack reads back.
#include <set>

#include <fmt/format.h>

#include "commands.hpp"
#include "container_walk.hpp"
#include "output_file.hpp"
#include "progress.hpp"
#include "provider.hpp"
#include "quillmere_dat/file_type.hpp"
#include "quoting.hpp"

namespace dat_tool {

namespace {

namespace fs = std::filesystem;
using quillmere_dat::archive::NamespaceSpan;
using quillmere_dat::archive::QmaEntry;
using quillmere_dat::archive::QmaReader;

struct Tally {
  std::uint64_t entries = 0;
  std::uint64_t bytes = 0;
};

// Each file appears whole or not at all, so an interrupted run leaves no truncated payload.
Result<void> write_entry(const fs::path& dir, std::uint32_t file_id, std::uint32_t type_id,
                         const std::vector<std::uint8_t>& payload, Tally& tally, Progress& progress) {
  const fs::path target = dir / entry_file_name(file_id, type_id);
  if (auto w = write_file_whole(target, payload); !w)
    return std::unexpected(Error::from_io(w.error()).context(fmt::format("Failed to write {}", quoted(target))));
  ++tally.entries;
  tally.bytes += payload.size();
  progress.advance(payload.size());
  return {};
}

Result<void> unpack_dat(const quillmere_dat::DatDatabase& db, const fs::path& outdir, std::FILE* out) {
  QM_TRY_VOID(make_directories(outdir));
  const auto kind = quillmere_dat::dataset_kind(db.header());
  const auto ids = db.sorted_ids();
  Progress progress("unpack", ids.size());
  Tally tally;
  for (const std::uint32_t id : ids) {
    auto payload = db.get_file(id);
    if (!payload) return std::unexpected(Error::from(payload.error()).context(fmt::format("Failed to read entry {:08X}", id)));
    const auto type = static_cast<std::uint32_t>(db.entries().at(id).file_type_in_dat(kind));
    QM_TRY_VOID(write_entry(outdir, id, type, *payload, tally, progress));
  }
  progress.finish();
  fmt::print(out, "Unpacked {} entries ({} bytes) into {}\n", tally.entries, tally.bytes, quoted(outdir));
  return {};
}

// One span into `dir`. The index must be strictly ascending by file ID: that is what makes the
// file names unique, so a duplicate cannot silently replace an entry written before it.
Result<void> unpack_span(const QmaReader& reader, const fs::path& path, const NamespaceSpan& span, const fs::path& dir,
                         Tally& tally, Progress& progress) {
  std::optional<std::uint32_t> previous;
  return for_each_span_record(reader, span, [&](std::uint32_t, const QmaEntry& e) -> Result<void> {
    if (previous && e.file_id == *previous)
      return std::unexpected(Error::from(quillmere_dat::DatError::duplicate_namespaced_id(std::string(span.ns.as_str()), e.file_id)));
    if (previous && e.file_id < *previous)
      return std::unexpected(Error::msg(fmt::format("Index of {} is not sorted: {}:{:08X} follows {:08X}", quoted(path),
                                                    span.ns.as_str(), e.file_id, *previous)));
    previous = e.file_id;
    auto payload = reader.read_entry_data(e);
    if (!payload)
      return std::unexpected(
          Error::from(payload.error()).context(fmt::format("Failed to read entry {}:{:08X}", span.ns.as_str(), e.file_id)));
    return write_entry(dir, e.file_id, e.type_id, *payload, tally, progress);
  });
}

Result<void> unpack_qma(const QmaReader& reader, const UnpackArgs& args, std::FILE* out) {
  QM_TRY(const auto spans, select_spans(reader, args.path, args.ns));
  // Several namespaces may share file IDs: each gets its own folder unless one was chosen.
  const bool subfolders = spans.size() > 1;
  std::vector<std::string> folders;
  if (subfolders) {
    std::set<std::string> taken;
    for (const auto& span : spans) {
      folders.push_back(namespace_folder(span.ns));
      if (!taken.insert(folders.back()).second)
        return std::unexpected(Error::msg(fmt::format("Two namespaces of {} unpack into the same folder {}",
                                                      quoted(args.path), quoted(args.outdir / folders.back()))));
    }
  }
  QM_TRY_VOID(make_directories(args.outdir));

  std::uint64_t total = 0;
  for (const auto& span : spans) total += span.entry_count;
  Progress progress("unpack", total);
  Tally all;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const fs::path dir = subfolders ? args.outdir / folders[i] : args.outdir;
    if (subfolders) QM_TRY_VOID(make_directories(dir));
    Tally tally;
    QM_TRY_VOID(unpack_span(reader, args.path, spans[i], dir, tally, progress));
    all.entries += tally.entries;
    all.bytes += tally.bytes;
    if (subfolders)
      fmt::print(out, "Unpacked {} entries ({} bytes) of {} into {}\n", tally.entries, tally.bytes, spans[i].ns.as_str(),
                 quoted(dir));
  }
  progress.finish();
  fmt::print(out, "Unpacked {} entries ({} bytes) into {}\n", all.entries, all.bytes, quoted(args.outdir));
  return {};
}

}  // namespace

Result<void> run_unpack(const UnpackArgs& args, std::FILE* out) {
  QM_TRY(auto provider, Provider::open(args.path));
  // A DAT database has one dataset: the namespace option is ignored, as by the other commands.
  if (const auto* db = provider.dat()) return unpack_dat(*db, args.outdir, out);
  return unpack_qma(*provider.qma(), args, out);
}

}  // namespace dat_tool
