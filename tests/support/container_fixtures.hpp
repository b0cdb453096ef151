#pragma once
// Small containers for the whole-container commands: DAT databases with compressed entries of
// several kinds, and an archive with two namespaces that share file IDs.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_entries.hpp"

namespace qm_test {

// What a container holds, as unpack writes it: ID, type code and decompressed payload.
struct FixtureEntry {
  std::uint32_t file_id = 0;
  std::uint32_t type_id = 0;
  std::vector<std::uint8_t> payload;
  bool compressed = false;  // stored LRS-compressed in the DAT
};

// "{ID:08X}.{TYPE:X}"
std::string unpacked_name(const FixtureEntry& e);

// Portal database (block size 1024, dataset 1), IDs sorted: models, textures (0x06 and 0x07
// both type 6), audio, an unknown kind, a table, an empty payload, the iteration record.
std::vector<FixtureEntry> portal_fixture_entries();
// Cell database (block size 256, dataset 2): landblock, landblock info, indoor cells, ...
std::vector<FixtureEntry> cell_fixture_entries();
// Writes a database holding `entries` in a scattered multi-node tree.
void write_dat_fixture(const std::filesystem::path& path, const std::vector<FixtureEntry>& entries,
                       std::uint32_t block_size, std::uint32_t dataset);

// "eor/cell" and "eor/portal" entries (overlapping IDs, one pruned), in index order.
std::vector<ArchiveEntry> two_namespace_entries();
// Writes them with the library's writer, zstd-compressing where that is shorter when asked.
void write_archive_fixture(const std::filesystem::path& path, const std::vector<ArchiveEntry>& entries, bool compress);

// Deterministic bytes: `n` pseudo-random ones, or `n` of a repeating text (compressible).
std::vector<std::uint8_t> noise(std::size_t n, std::uint32_t seed);
// A portal DAT of two entries whose second chain links to a block far past the end of the file.
void write_broken_chain_dat(const std::filesystem::path& path);
std::vector<std::uint8_t> prose(std::size_t n, std::uint32_t seed);

}  // namespace qm_test
