// Writes the seed corpus of every fuzz target from the fixture builders.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "dat_builder.hpp"
#include "lrs_encoder.hpp"
#include "sample_parts.hpp"

namespace fs = std::filesystem;

namespace {

void put(const fs::path& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const fs::path root = argv[1];
  {
    qm_test::DatBuilder small(256, 2);
    small.tree_shape(2, 3);
    for (std::uint32_t i = 0; i < 12; ++i)
      small.add(0x0001FFFE + (i << 16), std::vector<std::uint8_t>(20 + i * 9, static_cast<std::uint8_t>(i)), i % 2);
    put(root / "fuzz_dat_open", "cell.dat", small.build());
    qm_test::DatBuilder tiny(64, 1);
    tiny.add(0x06000001, {1, 2, 3, 4, 5}, true);
    put(root / "fuzz_dat_open", "tiny.dat", tiny.build());
  }
  put(root / "fuzz_lrs", "tone", qm_test::lrs_compress(qm_sample::tone_sound()));
  put(root / "fuzz_lrs", "text", qm_test::lrs_compress(std::vector<std::uint8_t>(300, 'a')));
  return 0;
}
