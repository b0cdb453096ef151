// Writes the project's sample databases into a folder, deterministically: a portal-like DAT
// with entries of several kinds (some LRS-compressed) in a tree of several nodes.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "dat_builder.hpp"
#include "sample_parts.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-sample OUTDIR\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  try {
    // portal.dat first: the pack folders are read back from the databases.
    qm_sample::write_portal(out / "portal.dat");
    qm_sample::write_extras(out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make-sample: %s\n", e.what());
    return 1;
  }
  std::printf("sample written to %s\n", out.c_str());
  return 0;
}
