#pragma once
// The benchmark workloads: deterministic fixture files written once into a work folder and
// reused by bench/run.sh and the Google Benchmark programs. Every ensure_* call returns the path
// and writes the file first when it is missing; files appear whole (written beside the target
// and renamed), so an interrupted run never leaves a half workload that a later run would reuse.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

namespace qm_bench {

namespace fs = std::filesystem;

// Bumped whenever a workload's content changes, so stale files from older runs are not reused.
inline constexpr int kWorkloadVersion = 1;

// $QM_BENCH_WORK (default /tmp/qm-bench-work), then "v{kWorkloadVersion}"; created when missing.
fs::path work_dir();

inline constexpr std::uint32_t kCellDatEntries = 500'000;
inline constexpr std::uint32_t kArchiveEntries = 1'000'000;
inline constexpr std::uint32_t kPortalEntries = 100'000;
inline constexpr std::uint32_t kSpellCount = 10'000;
inline constexpr std::uint32_t kWeenieTables = 200;
inline constexpr std::uint32_t kWeeniesPerTable = 1'000;
inline constexpr std::size_t kBigEntrySize = 64u << 20;

// First weenie table ID; table t holds the WCIDs t * 1000 + 1 to t * 1000 + 1000.
inline constexpr std::uint32_t kFirstWeenieTable = 0x0E010000;

using EntryFn = std::function<void(std::uint32_t id, std::uint32_t type_id, std::vector<std::uint8_t>&& payload)>;
using PortalFn = std::function<void(std::uint32_t id, std::uint32_t type_id, std::vector<std::uint8_t>&& payload,
                                    bool lrs_compressed)>;

// Cell-like entries in ascending ID order: per landblock 48 indoor cells (0x0100 up), the
// static-object record (0xFFFE) and the terrain record (0xFFFF); payloads 40 to 252 bytes.
void for_each_cell_entry(std::uint32_t count, const EntryFn& fn);
// Portal-like entries: textures, models, animations, sounds, string tables and small surfaces,
// 32 bytes to 1 MiB each, about 0.95 GiB in all; every third is marked for LRS compression.
void for_each_portal_entry(std::uint32_t count, const PortalFn& fn);

// cell-500k.dat: block size 256, dataset 2.
fs::path ensure_cell_dat();
// cell-500k.stream: the same entries as records (u32 ID, u32 length, bytes), for the ZIP writer.
fs::path ensure_cell_stream();
// cell-1m.dat and cell-1m.qma: the same 1,000,000 cell entries (the first 500,000 are those of
// cell-500k.dat), the archive in "eor/cell" with compression, written by QmaStreamWriter.
fs::path ensure_cell_1m_dat();
fs::path ensure_cell_1m_qma();
// portal-100k.dat (block size 1024, dataset 1) and portal-files/, the same payloads as files
// named [ID].[TYPE] in hexadecimal.
fs::path ensure_portal_dat();
fs::path ensure_portal_files();
// big-64m.qma: one compressed 64 MiB entry (ID 0x06000001); big-64m.zst: that entry's frame.
fs::path ensure_big_qma();
fs::path ensure_big_frame();
// spells-10k.dat: the spell table 0x0E00000E with 10,000 spells and 200 spell sets.
fs::path ensure_spell_dat();
// weenies-200x1000.dat: 200 weenie tables of 1,000 weenies each.
fs::path ensure_weenie_dat();

// The payload of weenie table `t` (0-based), as stored in weenies-200x1000.dat.
std::vector<std::uint8_t> weenie_table_bytes(std::uint32_t t);

}  // namespace qm_bench
