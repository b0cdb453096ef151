#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "commands.hpp"
#include "container_walk.hpp"
#include "output_file.hpp"
#include "progress.hpp"
#include "provider.hpp"
#include "quillmere_dat/archive/namespace.hpp"
#include "quillmere_dat/archive/writer.hpp"
#include "quillmere_dat/file_type.hpp"
#include "quoting.hpp"

namespace dat_tool {

namespace {

namespace fs = std::filesystem;
using quillmere_dat::DatError;
using quillmere_dat::IoError;
using quillmere_dat::archive::utf8_error;

// The final component of a path: trailing separators and "." components do not count, and a
// path ending in ".." or a bare root has none (so "out/cell/" is named "cell").
std::optional<std::string> file_name(const fs::path& path) {
  std::string_view s = path.native();
  std::optional<std::string> last;
  while (!s.empty()) {
    const auto slash = s.find('/');
    const std::string_view part = s.substr(0, slash);
    if (!part.empty() && part != ".") last = std::string(part);
    if (slash == std::string_view::npos) break;
    s.remove_prefix(slash + 1);
  }
  if (last && *last == "..") return std::nullopt;
  return last;
}

// The file name without its last extension; a leading dot alone does not start an extension.
std::optional<std::string> file_stem(const fs::path& path) {
  auto name = file_name(path);
  if (!name) return std::nullopt;
  const auto dot = name->rfind('.');
  if (dot == std::string::npos || dot == 0) return name;
  return name->substr(0, dot);
}

std::string_view namespace_for(const fs::path& output) {
  using quillmere_dat::archive::kCellNamespace;
  using quillmere_dat::archive::kPortalNamespace;
  auto stem = file_stem(output);
  if (!stem || utf8_error(*stem)) return kPortalNamespace;
  for (auto& ch : *stem)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return stem->find("cell") != std::string::npos ? kCellNamespace : kPortalNamespace;
}

bool is_regular_following_links(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::expected<std::vector<std::uint8_t>, IoError> read_whole_file(const fs::path& path) {
  auto file = quillmere_dat::utils::File::open_read(path);
  if (!file) return std::unexpected(file.error());
  const int fd = file->fd();
  // Read straight into place at the length the file has now; it is read on until it ends, in
  // case it grew meanwhile.
  std::vector<std::uint8_t> bytes;
  if (struct stat st {}; ::fstat(fd, &st) == 0 && st.st_size > 0) bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(std::max<std::size_t>(bytes.size() * 2, 1 << 16));
    const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(IoError::from_errno(errno));
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  return bytes;
}

// The length of a file that can be opened for reading.
std::expected<std::uint64_t, IoError> readable_size(const fs::path& path) {
  auto file = quillmere_dat::utils::File::open_read(path);
  if (!file) return std::unexpected(file.error());
  auto len = quillmere_dat::utils::len_compat(*file);
  if (!len) return std::unexpected(len.error());
  return *len;
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

std::vector<std::string_view> split_dots(std::string_view name) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto dot = name.find('.');
    parts.push_back(name.substr(0, dot));
    if (dot == std::string_view::npos) return parts;
    name.remove_prefix(dot + 1);
  }
}

Error write_failed(const DatError& err) { return Error::from(err).context("Failed to write QMA file"); }

// A DAT database or an archive given in place of a folder: a regular file named .dat or .qma.
bool is_container_file(const fs::path& path) {
  auto ext = path.filename().extension().string();
  for (auto& ch : ext)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return (ext == ".dat" || ext == ".qma") && is_regular_following_links(path);
}

// Feeds the stream writer of a container repack. Refusals of the entry itself (a duplicate ID,
// limits) read as they do for a folder; failures to write name the archive.
class ContainerSink {
 public:
  explicit ContainerSink(quillmere_dat::archive::QmaStreamWriter& writer) : writer_(writer) {}
  Result<void> add(std::string_view ns, std::uint32_t file_id, std::uint32_t type_id,
                   const std::vector<std::uint8_t>& payload, bool pruned) {
    auto added = pruned ? writer_.add_pruned(ns, file_id, type_id, payload) : writer_.add(ns, file_id, type_id, payload);
    if (!added) {
      const auto kind = added.error().kind();
      if (kind == DatError::Kind::Io || kind == DatError::Kind::BinRead) return std::unexpected(write_failed(added.error()));
      return std::unexpected(Error::from(added.error()));
    }
    ++count_;
    return {};
  }
  std::uint64_t count() const { return count_; }

 private:
  quillmere_dat::archive::QmaStreamWriter& writer_;
  std::uint64_t count_ = 0;
};

// The namespace of a DAT database's entries: its dataset's, else the output-name rule.
std::string_view dat_namespace(const quillmere_dat::DatDatabase& db, const fs::path& output) {
  switch (quillmere_dat::dataset_kind(db.header())) {
    case quillmere_dat::DatDatasetKind::Portal: return quillmere_dat::archive::kPortalNamespace;
    case quillmere_dat::DatDatasetKind::Cell: return quillmere_dat::archive::kCellNamespace;
    default: return namespace_for(output);
  }
}

// Repacks a container straight into the archive, one payload in memory at a time. The entries
// go in the order QmaWriter would write them (sorted IDs; an archive's index is sorted already),
// so the result is the archive unpack followed by qma-pack gives, pruned markers kept.
Result<void> pack_container(const QmaPackArgs& args, std::FILE* out) {
  using quillmere_dat::archive::QmaEntry;
  using quillmere_dat::archive::QmaStreamWriter;
  fmt::print(out, "Packing files from {} into {}\n", quoted(args.input), quoted(args.output));
  QM_TRY(auto provider, Provider::open(args.input));

  auto pending = PendingFile::create(args.output);
  if (!pending) return std::unexpected(write_failed(DatError::io(pending.error())));
  int fd;
  do {
    fd = ::open(pending->temp_path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::unexpected(write_failed(DatError::io(IoError::from_errno(errno))));
  auto writer = QmaStreamWriter::create(quillmere_dat::utils::File(fd), args.compress);
  if (!writer) return std::unexpected(write_failed(writer.error()));
  ContainerSink sink(*writer);

  if (const auto* db = provider.dat()) {
    const std::string_view ns = dat_namespace(*db, args.output);
    const auto kind = quillmere_dat::dataset_kind(db->header());
    const auto ids = db->sorted_ids();
    Progress progress("qma-pack", ids.size());
    for (const std::uint32_t id : ids) {
      auto payload = db->get_file(id);
      if (!payload)
        return std::unexpected(Error::from(payload.error()).context(fmt::format("Failed to read entry {:08X}", id)));
      const auto type = static_cast<std::uint32_t>(db->entries().at(id).file_type_in_dat(kind));
      QM_TRY_VOID(sink.add(ns, id, type, *payload, false));
      progress.advance(payload->size());
    }
  } else {
    const auto& reader = *provider.qma();
    Progress progress("qma-pack", reader.entry_count());
    for (const auto& span : reader.spans()) {
      auto packed = for_each_span_record(reader, span, [&](std::uint32_t, const QmaEntry& e) -> Result<void> {
        auto payload = reader.read_entry_data(e);
        if (!payload)
          return std::unexpected(
              Error::from(payload.error()).context(fmt::format("Failed to read entry {}:{:08X}", span.ns.as_str(), e.file_id)));
        QM_TRY_VOID(sink.add(span.ns.as_str(), e.file_id, e.type_id, *payload, e.is_pruned()));
        progress.advance(payload->size());
        return {};
      });
      if (!packed) return packed;
    }
  }

  if (auto finished = writer->finish(); !finished) return std::unexpected(write_failed(finished.error()));
  if (auto committed = pending->commit(); !committed) return std::unexpected(write_failed(DatError::io(committed.error())));
  fmt::print(out, "Successfully packed {} files into {}\n", sink.count(), quoted(args.output));
  return {};
}

}  // namespace

Result<void> run_qma_pack(const QmaPackArgs& args, std::FILE* out) {
  if (is_container_file(args.input)) return pack_container(args, out);
  quillmere_dat::archive::QmaWriter writer;
  writer.set_compress(args.compress);
  const std::string_view ns = namespace_for(args.output);
  fmt::print(out, "Packing files from {} into {}\n", quoted(args.input), quoted(args.output));

  std::unique_ptr<DIR, DirCloser> dir(::opendir(args.input.c_str()));
  if (!dir) return std::unexpected(Error::from_io(IoError::from_errno(errno)).context("Failed to read input directory"));

  std::int32_t count = 0;
  Progress progress("qma-pack", std::nullopt);
  // In the order the directory lists its entries: no sorting.
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) {
      if (errno != 0) return std::unexpected(Error::from_io(IoError::from_errno(errno)));
      break;
    }
    const std::string_view raw_name = entry->d_name;
    if (raw_name == "." || raw_name == "..") continue;
    const fs::path path = args.input / raw_name;
    if (!is_regular_following_links(path)) continue;

    const std::string_view name = utf8_error(raw_name) ? std::string_view() : raw_name;
    const auto parts = split_dots(name);
    if (parts.size() != 2) {
      fmt::print(out, "Skipping {} (expected format: [ID].[TYPE] in hex)\n", name);
      continue;
    }
    auto file_id = parse_hex_u32(parts[0]);
    if (!file_id) return std::unexpected(std::move(file_id).error().context(fmt::format("Invalid hex ID in filename: {}", name)));
    auto type_id = parse_hex_u32(parts[1]);
    if (!type_id)
      return std::unexpected(std::move(type_id).error().context(fmt::format("Invalid hex Type ID in filename: {}", name)));
    // The file is opened now, so it fails here as a read would, and read again only while the
    // archive is written: memory holds one payload at a time, not the whole folder.
    auto size = readable_size(path);
    if (!size) return std::unexpected(Error::from_io(size.error()));
    auto load = [path]() -> quillmere_dat::DatResult<std::vector<std::uint8_t>> {
      auto bytes = read_whole_file(path);
      if (!bytes) return std::unexpected(DatError::io(bytes.error()));
      return std::move(*bytes);
    };
    if (auto added = writer.add_deferred(ns, *file_id, *type_id, *size, std::move(load)); !added)
      return std::unexpected(Error::from(added.error()));
    ++count;
    progress.advance(*size);
  }
  dir.reset();
  // The writer compresses and writes in one call, which the counters cannot follow.
  progress.status(fmt::format("writing {} files", count));

  // The archive is written beside the output and moved over it only once complete, so a failure
  // leaves any earlier file at the output untouched and no half-written archive behind.
  auto pending = PendingFile::create(args.output);
  if (!pending) return std::unexpected(write_failed(DatError::io(pending.error())));
  if (auto written = writer.write(pending->temp_path()); !written) return std::unexpected(write_failed(written.error()));
  if (auto committed = pending->commit(); !committed) return std::unexpected(write_failed(DatError::io(committed.error())));
  progress.finish();

  fmt::print(out, "Successfully packed {} files into {}\n", count, quoted(args.output));
  return {};
}

}  // namespace dat_tool
