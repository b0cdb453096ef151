#pragma once
// Visits every index record of an archive in index order, reading the index in large blocks.
#include "error.hpp"
#include "quillmere_dat/archive/reader.hpp"

namespace dat_tool {

template <class Visit>
Result<void> for_each_index_record(const quillmere_dat::archive::QmaReader& reader, Visit&& visit) {
  constexpr std::uint32_t kBlock = 4096;
  const std::uint32_t total = reader.entry_count();
  for (std::uint32_t first = 0; first < total;) {
    const std::uint32_t n = std::min(kBlock, total - first);
    auto block = reader.read_entries(first, n);
    if (!block) {
      // Re-read one record at a time so the failure names the same record a plain scan would.
      for (std::uint32_t i = first; i < first + n; ++i) {
        auto one = reader.read_entry_at(i);
        if (!one) return std::unexpected(Error::from(one.error()));
        if (auto r = visit(*one); !r) return r;
      }
    } else {
      for (const auto& entry : *block)
        if (auto r = visit(entry); !r) return r;
    }
    first += n;
  }
  return {};
}

}  // namespace dat_tool
