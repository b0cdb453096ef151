// In-process split of the record commands' costs: fetching the payloads against decoding them
// (weenie tables), and the spell table's decode, export and document writing.
#include <benchmark/benchmark.h>

#include "quillmere_dat/database.hpp"
#include "quillmere_dat/file_type/spell_table.hpp"
#include "quillmere_dat/weenie.hpp"
#include "quillmere_tools/spell_export.hpp"
#include "workloads.hpp"

namespace {

using quillmere_dat::DatDatabase;
namespace st = quillmere_dat::file_type::spell_table;
namespace se = quillmere_tools::spell_export;

const DatDatabase& weenie_db() {
  static const DatDatabase db = *DatDatabase::open(qm_bench::ensure_weenie_dat());
  return db;
}

// What weenie-find fetches: every table of the database, once.
void BM_WeenieTablesFetch(benchmark::State& state) {
  const auto& db = weenie_db();
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (std::uint32_t t = 0; t < qm_bench::kWeenieTables; ++t) {
      auto payload = db.get_file(qm_bench::kFirstWeenieTable + t);
      if (!payload) state.SkipWithError("fetch failed");
      bytes += static_cast<std::int64_t>(payload->size());
      benchmark::DoNotOptimize(payload->data());
    }
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_WeenieTablesFetch)->Unit(benchmark::kMillisecond);

// The same fetches, each followed by the table decode weenie-find runs.
void BM_WeenieTablesFetchDecode(benchmark::State& state) {
  const auto& db = weenie_db();
  std::size_t weenies = 0;
  for (auto _ : state) {
    for (std::uint32_t t = 0; t < qm_bench::kWeenieTables; ++t) {
      auto payload = db.get_file(qm_bench::kFirstWeenieTable + t);
      if (!payload) state.SkipWithError("fetch failed");
      auto table = quillmere_dat::weenie::WeenieTable::unpack(*payload);
      if (!table) state.SkipWithError("decode failed");
      weenies += table->weenies.size();
    }
  }
  benchmark::DoNotOptimize(weenies);
  state.SetItemsProcessed(static_cast<std::int64_t>(weenies));
}
BENCHMARK(BM_WeenieTablesFetchDecode)->Unit(benchmark::kMillisecond);

const std::vector<std::uint8_t>& spell_payload() {
  static const std::vector<std::uint8_t> payload =
      *DatDatabase::open(qm_bench::ensure_spell_dat())->get_file(st::kSpellTableFileId);
  return payload;
}

void BM_SpellTableDecode(benchmark::State& state) {
  const auto& payload = spell_payload();
  for (auto _ : state) {
    auto table = st::decode_spell_table(payload);
    if (!table) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(table->spells.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}
BENCHMARK(BM_SpellTableDecode)->Unit(benchmark::kMillisecond);

void BM_SpellExportSelect(benchmark::State& state) {
  const auto table = *st::decode_spell_table(spell_payload());
  for (auto _ : state) {
    auto file = se::export_spell_table(table, se::SpellExportRequest{});
    benchmark::DoNotOptimize(file.spells.size());
  }
}
BENCHMARK(BM_SpellExportSelect)->Unit(benchmark::kMillisecond);

void BM_SpellDocumentWrite(benchmark::State& state) {
  const auto file = se::export_spell_table(*st::decode_spell_table(spell_payload()), se::SpellExportRequest{});
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto doc = se::write_document(file);
    bytes += doc.size();
    benchmark::DoNotOptimize(doc.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_SpellDocumentWrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
