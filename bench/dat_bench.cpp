// The DAT database's costs: the directory walk at open, single fetches, LRS beside zstd.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <zstd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <unordered_map>

#include "lrs_encoder.hpp"
#include "quillmere_dat/database.hpp"
#include "quillmere_dat/lrs.hpp"
#include "workloads.hpp"

namespace {

namespace fs = std::filesystem;
using quillmere_dat::DatDatabase;

// The workloads of bench/run.sh (see workloads.hpp), written on first use and reused after.
const fs::path& cell_dat() {
  static const fs::path path = qm_bench::ensure_cell_dat();
  return path;
}

const fs::path& portal_dat() {
  static const fs::path path = qm_bench::ensure_portal_dat();
  return path;
}

std::vector<std::uint8_t> mixed_payload(std::uint32_t i, std::mt19937& rng) {
  const std::size_t sizes[] = {64, 300, 1500, 6000, 20000};
  std::vector<std::uint8_t> p(sizes[i % 5] + rng() % 512);
  for (auto& b : p) b = static_cast<std::uint8_t>("abcdefgh  \n"[rng() % 11]);
  return p;
}

long peak_rss_kib() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

void BM_OpenCell500k(benchmark::State& state) {
  const auto& path = cell_dat();
  std::size_t entries = 0;
  for (auto _ : state) {
    auto db = DatDatabase::open(path);
    if (!db) state.SkipWithError("open failed");
    entries = db->entries().size();
    benchmark::DoNotOptimize(entries);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * entries));
  state.counters["peak_rss_MiB"] = static_cast<double>(peak_rss_kib()) / 1024.0;
}
BENCHMARK(BM_OpenCell500k)->Unit(benchmark::kMillisecond);

// The floor for open: the same entries inserted into the same map from a flat array.
void BM_MapInsertFromFlatArray500k(benchmark::State& state) {
  auto db = DatDatabase::open(cell_dat());
  std::vector<quillmere_dat::DatFileEntry> flat;
  for (const auto& [id, e] : db->entries()) flat.push_back(e);
  std::sort(flat.begin(), flat.end(), [](auto& a, auto& b) { return a.id < b.id; });
  for (auto _ : state) {
    std::unordered_map<std::uint32_t, quillmere_dat::DatFileEntry> map;
    for (const auto& e : flat) map.insert_or_assign(e.id, e);
    benchmark::DoNotOptimize(map.size());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * flat.size()));
}
BENCHMARK(BM_MapInsertFromFlatArray500k)->Unit(benchmark::kMillisecond);

void BM_OpenPortal100k(benchmark::State& state) {
  for (auto _ : state) {
    auto db = DatDatabase::open(portal_dat());
    benchmark::DoNotOptimize(db->entries().size());
  }
}
BENCHMARK(BM_OpenPortal100k)->Unit(benchmark::kMillisecond);

void BM_GetFileRandom(benchmark::State& state) {
  auto db = DatDatabase::open(portal_dat());
  auto ids = db->sorted_ids();
  std::mt19937 rng(1);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    auto data = db->get_file(ids[rng() % ids.size()]);
    bytes += static_cast<std::int64_t>(data->size());
    benchmark::DoNotOptimize(data->data());
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_GetFileRandom);

struct CodecInput {
  std::vector<std::uint8_t> plain, lrs, zstd;
};
const CodecInput& codec_input() {
  static const CodecInput in = [] {
    CodecInput c;
    std::mt19937 rng(3);
    for (std::uint32_t i = 0; c.plain.size() < (8u << 20); ++i) {
      auto p = mixed_payload(i, rng);
      c.plain.insert(c.plain.end(), p.begin(), p.end());
    }
    c.lrs = qm_test::lrs_compress(c.plain);
    c.zstd.resize(ZSTD_compressBound(c.plain.size()));
    c.zstd.resize(ZSTD_compress(c.zstd.data(), c.zstd.size(), c.plain.data(), c.plain.size(), 3));
    return c;
  }();
  return in;
}

void BM_DecompressLrs(benchmark::State& state) {
  const auto& in = codec_input();
  for (auto _ : state) benchmark::DoNotOptimize(quillmere_dat::utils::decompress_lrs(in.lrs).data());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.plain.size()));
}
BENCHMARK(BM_DecompressLrs)->Unit(benchmark::kMillisecond);

void BM_ZstdDecompressSameOutput(benchmark::State& state) {
  const auto& in = codec_input();
  std::vector<std::uint8_t> out(in.plain.size());
  ZSTD_DCtx* dctx = ZSTD_createDCtx();
  for (auto _ : state) {
    const auto n = ZSTD_decompressDCtx(dctx, out.data(), out.size(), in.zstd.data(), in.zstd.size());
    benchmark::DoNotOptimize(n);
  }
  ZSTD_freeDCtx(dctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.plain.size()));
}
BENCHMARK(BM_ZstdDecompressSameOutput)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
