#include "provider.hpp"

#include <fmt/format.h>

#include "quoting.hpp"

namespace dat_tool {

using quillmere_dat::DatDatabase;
using quillmere_dat::DatResult;
using quillmere_dat::archive::QmaEntry;
using quillmere_dat::archive::QmaReader;
using quillmere_dat::archive::ResourceNamespace;

namespace {

std::string lowered_extension(const std::filesystem::path& path) {
  auto ext = path.filename().extension().string();
  if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
  for (auto& ch : ext)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return ext;
}

}  // namespace

Result<Provider> Provider::open(const std::filesystem::path& path) {
  auto open_qma = [](const std::filesystem::path& p) -> Result<Provider> {
    auto r = QmaReader::open(p);
    if (!r) return std::unexpected(Error::from(r.error()));
    return Provider(std::move(*r));
  };
  auto open_dat = [](const std::filesystem::path& p) -> Result<Provider> {
    auto r = DatDatabase::open(p);
    if (!r) return std::unexpected(Error::from(r.error()));
    return Provider(std::move(*r));
  };

  const auto ext = lowered_extension(path);
  if (ext == "qma") return open_qma(path);
  if (ext == "dat") return open_dat(path);

  std::error_code ec;
  auto as_qma = path;
  as_qma.replace_extension("qma");
  if (std::filesystem::exists(as_qma, ec)) return open_qma(as_qma);
  auto as_dat = path;
  as_dat.replace_extension("dat");
  if (std::filesystem::exists(as_dat, ec)) return open_dat(as_dat);
  return std::unexpected(
      Error::msg(fmt::format("Could not open provider for {}. Expected .qma or .dat", quoted(path))));
}

std::uint64_t Provider::file_count() const {
  if (auto* db = dat()) return db->entries().size();
  return qma()->entry_count();
}

DatResult<std::optional<QmaEntry>> Provider::get_qma_entry(Namespace ns, std::uint32_t id) const {
  const QmaReader* reader = qma();
  if (!reader) return std::optional<QmaEntry>{};
  DatResult<QmaEntry> found = [&]() -> DatResult<QmaEntry> {
    if (!ns) return reader->find_entry(id);
    auto label = ResourceNamespace::create(*ns);
    if (!label) return std::unexpected(label.error());
    return reader->find_entry_with_namespace_id(*label, id);
  }();
  if (!found) return std::unexpected(found.error());
  return std::optional<QmaEntry>(*found);
}

DatResult<std::vector<std::uint8_t>> Provider::get_file_in_namespace(Namespace ns, std::uint32_t id) const {
  if (auto* db = dat()) return db->get_file(id);
  auto entry = get_qma_entry(ns, id);
  if (!entry) return std::unexpected(entry.error());
  return qma()->read_entry_data(**entry);
}

std::string Provider::default_export_name(Namespace ns, std::uint32_t id) const {
  if (qma()) {
    if (auto entry = get_qma_entry(ns, id); entry && *entry) {
      if (auto label = (*entry)->namespace_id()) {
        std::string safe(label->as_str());
        for (auto& ch : safe)
          if (ch == '/' || ch == ':' || ch == '\\') ch = '_';
        return fmt::format("{}_{:08X}.bin", safe, id);
      }
    }
  }
  return fmt::format("{:08X}.bin", id);
}

namespace {

// Unsigned 32-bit parse with an optional leading '+', reporting the standard parse errors.
Result<std::uint32_t> parse_u32(std::string_view s, unsigned radix) {
  if (s.empty()) return std::unexpected(Error::msg("cannot parse integer from empty string"));
  if (s.front() == '+') {
    if (s.size() == 1) return std::unexpected(Error::msg("invalid digit found in string"));
    s.remove_prefix(1);
  }
  std::uint64_t value = 0;
  for (char ch : s) {
    unsigned digit;
    if (ch >= '0' && ch <= '9') digit = static_cast<unsigned>(ch - '0');
    else if (ch >= 'a' && ch <= 'z') digit = static_cast<unsigned>(ch - 'a' + 10);
    else if (ch >= 'A' && ch <= 'Z') digit = static_cast<unsigned>(ch - 'A' + 10);
    else digit = 99;
    if (digit >= radix) return std::unexpected(Error::msg("invalid digit found in string"));
    value = value * radix + digit;
    if (value > UINT32_MAX) return std::unexpected(Error::msg("number too large to fit in target type"));
  }
  return static_cast<std::uint32_t>(value);
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

Result<std::uint32_t> parse_id_auto(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return parse_u32(text.substr(2), 16);
  if (auto dec = parse_u32(text, 10)) return dec;
  return parse_u32(text, 16);
}

Result<std::uint32_t> parse_hex_u32(std::string_view text) { return parse_u32(text, 16); }

}  // namespace dat_tool
