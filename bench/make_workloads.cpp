// Writes the benchmark workloads into the work folder ($QM_BENCH_WORK, default /tmp/qm-bench-work),
// reusing those already there, and prints the folder. With names, writes only those.
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <string>

#include "workloads.hpp"

int main(int argc, char** argv) {
  using namespace qm_bench;
  const std::map<std::string, std::function<fs::path()>> all = {
      {"cell-dat", ensure_cell_dat},       {"cell-stream", ensure_cell_stream}, {"cell-1m-dat", ensure_cell_1m_dat},
      {"cell-1m-qma", ensure_cell_1m_qma}, {"portal-dat", ensure_portal_dat},   {"portal-files", ensure_portal_files},
      {"big-qma", ensure_big_qma},         {"big-frame", ensure_big_frame},     {"spell-dat", ensure_spell_dat},
      {"weenie-dat", ensure_weenie_dat},
  };
  try {
    if (argc == 1) {
      for (const auto& [name, make] : all) make();
    } else {
      for (int i = 1; i < argc; ++i) {
        const auto it = all.find(argv[i]);
        if (it == all.end()) {
          std::fprintf(stderr, "make_workloads: unknown workload %s; known:", argv[i]);
          for (const auto& [name, make] : all) std::fprintf(stderr, " %s", name.c_str());
          std::fprintf(stderr, "\n");
          return 2;
        }
        it->second();
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_workloads: %s\n", e.what());
    return 1;
  }
  std::printf("%s\n", work_dir().c_str());
  return 0;
}
