#pragma once
// Shared pieces of the commands that walk a whole container (unpack, verify, qma-pack from a
// container): which namespaces they cover, and the index records of one span in blocks.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "quillmere_dat/archive/reader.hpp"

namespace dat_tool {

// Every span of the archive, or only the one labelled `ns`: an invalid label fails as the
// lookups do (InvalidNamespace), a label the archive lacks with "Namespace {} not found in {:?}".
Result<std::vector<quillmere_dat::archive::NamespaceSpan>> select_spans(
    const quillmere_dat::archive::QmaReader& reader, const std::filesystem::path& path,
    std::optional<std::string_view> ns);

// The folder a namespace unpacks into: the label with "/", ":" and "\" as "_" (as in the default
// export names), and "." or ".." spelt with "_" so the folder stays inside the target.
std::string namespace_folder(const quillmere_dat::archive::ResourceNamespace& ns);

// "{ID:08X}.{TYPE:X}": the name qma-pack reads back as that ID and type.
std::string entry_file_name(std::uint32_t file_id, std::uint32_t type_id);

// Creates `dir` and its missing parents; "Failed to create directory {:?}" around the OS error.
Result<void> make_directories(const std::filesystem::path& dir);

// Visits (position, record) for each index record of `span`, in index order, reading the index
// in blocks so a large span costs few reads and little memory.
template <class Visit>
Result<void> for_each_span_record(const quillmere_dat::archive::QmaReader& reader,
                                  const quillmere_dat::archive::NamespaceSpan& span, Visit&& visit) {
  constexpr std::uint32_t kBlock = 4096;
  const std::uint32_t end = span.start_index + span.entry_count;  // validated not to wrap
  for (std::uint32_t first = span.start_index; first < end;) {
    const std::uint32_t n = std::min(kBlock, end - first);
    auto block = reader.read_entries(first, n);
    if (!block) return std::unexpected(Error::from(block.error()));
    for (std::uint32_t i = 0; i < n; ++i)
      if (auto r = visit(first + i, (*block)[i]); !r) return r;
    first += n;
  }
  return {};
}

}  // namespace dat_tool
