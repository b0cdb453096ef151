#include "archive_entries.hpp"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "quillmere_dat/archive/reader.hpp"

namespace qm_test {

std::vector<ArchiveEntry> read_archive_entries(const std::filesystem::path& path) {
  auto reader = quillmere_dat::archive::QmaReader::open(path);
  if (!reader) throw std::runtime_error("archive does not open: " + reader.error().message());
  std::vector<ArchiveEntry> out;
  for (std::uint32_t i = 0; i < reader->entry_count(); ++i) {
    auto record = reader->read_entry_at(i);
    if (!record) throw std::runtime_error(record.error().message());
    auto ns = record->namespace_id();
    if (!ns) throw std::runtime_error(ns.error().message());
    auto payload = reader->read_entry_data(*record);
    if (!payload) throw std::runtime_error(payload.error().message());
    out.push_back({std::string(ns->as_str()), record->file_id, record->type_id, record->flags, std::move(*payload)});
  }
  return out;
}

std::vector<ArchiveEntry> archive_contents(const std::filesystem::path& path) {
  auto entries = read_archive_entries(path);
  for (auto& e : entries) e.flags = 0;
  return entries;
}

std::set<std::string> names_in(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

std::map<std::string, std::vector<std::uint8_t>> files_under(const std::filesystem::path& dir) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    files[std::filesystem::relative(e.path(), dir).string()] =
        std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

}  // namespace qm_test
