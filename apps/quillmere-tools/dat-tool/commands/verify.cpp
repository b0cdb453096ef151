// verify: reads every entry of a container and checks what opening it does not, reporting every
// damaged entry instead of stopping at the first.
#include <cstring>

#include <fmt/format.h>

#include "commands.hpp"
#include "container_walk.hpp"
#include "line_writer.hpp"
#include "progress.hpp"
#include "provider.hpp"
#include "quillmere_dat/lrs.hpp"

namespace dat_tool {

namespace {

using quillmere_dat::archive::NamespaceSpan;
using quillmere_dat::archive::QmaEntry;
using quillmere_dat::archive::QmaReader;

struct Counts {
  std::uint64_t checked = 0;
  std::uint64_t damaged = 0;
};

std::string join(const std::vector<std::string>& problems) {
  std::string text;
  for (const auto& p : problems) {
    if (!text.empty()) text += "; ";
    text += p;
  }
  return text;
}

// The block chain of every entry, and the decompression of compressed ones. The decoder never
// fails, so a damaged compressed stream shows only as output shorter than the size it declares.
void verify_dat(const quillmere_dat::DatDatabase& db, LineWriter& w, Counts& counts) {
  const auto ids = db.sorted_ids();
  Progress progress("verify", ids.size());
  for (const std::uint32_t id : ids) {
    const auto& entry = db.entries().at(id);
    ++counts.checked;
    auto stored = db.read_file_data(entry.offset, entry.size);
    if (!stored) {
      ++counts.damaged;
      w.line("{:08X}: {}", id, stored.error().message());
      progress.advance(0);
      continue;
    }
    std::uint64_t bytes = stored->size();
    if (entry.is_compressed() && stored->size() >= 4) {
      std::uint32_t declared;
      std::memcpy(&declared, stored->data(), 4);
      const auto payload = quillmere_dat::utils::decompress_lrs(*stored);
      bytes = payload.size();
      if (payload.size() != declared) {
        ++counts.damaged;
        w.line("{:08X}: Compressed data yields {} of its {} bytes", id, payload.size(), declared);
      }
    }
    progress.advance(bytes);
  }
}

bool key_less(const QmaEntry& a, const QmaEntry& b) {
  if (a.namespace_bytes != b.namespace_bytes) return a.namespace_bytes < b.namespace_bytes;
  return a.file_id < b.file_id;
}

// The invariants lookups rely on without checking them: each span's records carry its namespace
// and ascend strictly by (namespace, file ID); then each payload is read and, when compressed,
// decompressed, which checks its range inside the file and its size.
Result<void> verify_span(const QmaReader& reader, const NamespaceSpan& span, LineWriter& w, Counts& counts,
                         Progress& progress) {
  std::optional<QmaEntry> previous;
  return for_each_span_record(reader, span, [&](std::uint32_t, const QmaEntry& e) -> Result<void> {
    ++counts.checked;
    std::vector<std::string> problems;
    if (e.namespace_bytes != span.ns.bytes()) {
      auto own = e.namespace_id();
      problems.push_back(own ? fmt::format("index record names namespace {} inside the span of {}", own->as_str(),
                                           span.ns.as_str())
                             : fmt::format("index record names no valid namespace ({})", own.error().message()));
    }
    if (previous && !key_less(*previous, e)) {
      if (!key_less(e, *previous)) problems.push_back("duplicate index record");
      else problems.push_back(fmt::format("index record out of order after {:08X}", previous->file_id));
    }
    previous = e;
    if (!e.is_compressed() && e.size != e.comp_size)
      problems.push_back(fmt::format("size {} differs from stored size {}", e.size, e.comp_size));
    std::uint64_t bytes = 0;
    if (auto payload = reader.read_entry_data(e); !payload) problems.push_back(payload.error().message());
    else bytes = payload->size();
    if (!problems.empty()) {
      ++counts.damaged;
      w.line("{}:{:08X}: {}", span.ns.as_str(), e.file_id, join(problems));
    }
    progress.advance(bytes);
    return {};
  });
}

}  // namespace

Result<void> run_verify(const VerifyArgs& args, std::FILE* out) {
  QM_TRY(auto provider, Provider::open(args.path));
  LineWriter w(out);
  Counts counts;
  if (const auto* db = provider.dat()) {
    verify_dat(*db, w, counts);  // one dataset: the namespace option is ignored
  } else {
    const auto& reader = *provider.qma();
    QM_TRY(const auto spans, select_spans(reader, args.path, args.ns));
    std::uint64_t total = 0;
    for (const auto& span : spans) total += span.entry_count;
    Progress progress("verify", total);
    for (const auto& span : spans) QM_TRY_VOID(verify_span(reader, span, w, counts, progress));
  }
  w.line("Verified {} entries: {} damaged", counts.checked, counts.damaged);
  if (counts.damaged != 0)
    return std::unexpected(Error::msg(fmt::format("{} of {} entries are damaged", counts.damaged, counts.checked)));
  return {};
}

}  // namespace dat_tool
