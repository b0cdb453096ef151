#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "commands.hpp"
#include "provider.hpp"
#include "quillmere_dat/weenie.hpp"

namespace dat_tool {

namespace {

using quillmere_dat::weenie::WeenieTable;

constexpr std::uint32_t kTableType = 0x0E;  // weenie tables: high byte of the DAT file ID, archive type ID

struct Candidate {
  std::optional<std::string> ns;  // set for archive entries
  std::uint32_t file_id = 0;
};

// DAT: every directory ID of the 0E range, visited in ascending order. Archive: every index
// record of type 0E whose namespace resolves; unreadable records are skipped.
std::vector<Candidate> table_candidates(const Provider& provider) {
  std::vector<Candidate> out;
  if (const auto* db = provider.dat()) {
    for (std::uint32_t id : db->sorted_ids())
      if ((id >> 24) == kTableType) out.push_back({std::nullopt, id});
    return out;
  }
  const auto* qma = provider.qma();
  for (std::uint32_t i = 0; i < qma->entry_count(); ++i) {
    auto entry = qma->read_entry_at(i);
    if (!entry || entry->type_id != kTableType) continue;
    auto ns = entry->namespace_id();
    if (!ns) continue;
    out.push_back({std::string(ns->as_str()), entry->file_id});
  }
  return out;
}

}  // namespace

// Damaged tables only shrink the search: fetch and decode failures are skipped silently.
Result<void> run_weenie_find(const WeenieFindArgs& args, std::FILE* out) {
  auto provider = Provider::open(args.path);
  if (!provider) return std::unexpected(std::move(provider).error());
  auto wcid = parse_id_auto(args.wcid);
  if (!wcid) return std::unexpected(std::move(wcid).error());

  const auto candidates = table_candidates(*provider);
  fmt::print(out, "Scanning {} table files (0x0E prefix) for WCID {}...\n", candidates.size(), *wcid);

  std::size_t hits = 0;
  for (const auto& c : candidates) {
    auto payload = provider->get_file_in_namespace(c.ns, c.file_id);
    if (!payload) continue;
    auto table = WeenieTable::unpack(*payload);
    if (!table) continue;
    auto found = table->weenies.find(*wcid);
    if (found == table->weenies.end()) continue;
    const auto& w = found->second;
    if (c.ns)
      fmt::print(out, "Hit in table {}:{:08X}\n", *c.ns, c.file_id);
    else
      fmt::print(out, "Hit in table {:08X}\n", c.file_id);
    fmt::print(out, "  Entry WCID: {:08X}\n", w.class_id);
    fmt::print(out, "  WeenieType: {}\n", w.weenie_type);
    if (auto name = w.name()) fmt::print(out, "  Name: {}\n", *name);
    ++hits;
  }
  if (hits == 0) fmt::print(out, "No WCID {} entries found in scan-able table files (0x0E range).\n", *wcid);
  return {};
}

}  // namespace dat_tool
