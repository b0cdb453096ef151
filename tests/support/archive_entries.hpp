#pragma once
// Reads every entry of an archive back through the library's reader, to compare what the
// whole-container commands wrote with what went in.
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace qm_test {

struct ArchiveEntry {
  std::string ns;
  std::uint32_t file_id = 0;
  std::uint32_t type_id = 0;
  std::uint8_t flags = 0;
  std::vector<std::uint8_t> payload;  // decompressed
  friend bool operator==(const ArchiveEntry&, const ArchiveEntry&) = default;
};

// In index order; throws std::runtime_error when the archive does not open or an entry fails.
std::vector<ArchiveEntry> read_archive_entries(const std::filesystem::path& path);
// The same without the flags: what survives an unpack (namespace, ID, type, payload).
std::vector<ArchiveEntry> archive_contents(const std::filesystem::path& path);

// The names in a folder (not recursive).
std::set<std::string> names_in(const std::filesystem::path& dir);
// Every regular file of a folder tree, by path relative to it, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> files_under(const std::filesystem::path& dir);

}  // namespace qm_test
