// Writes the seed corpus of every fuzz target from the fixture builders and the sample data.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "dat_builder.hpp"
#include "lrs_encoder.hpp"
#include "quillmere_dat/archive/writer.hpp"
#include "quillmere_dat/database.hpp"
#include "qma_builder.hpp"
#include "records_builder.hpp"
#include "run_tool.hpp"
#include "sample_parts.hpp"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string fmt_id(std::uint32_t id);

namespace {

void put(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
Bytes text(std::string_view s) { return {s.begin(), s.end()}; }

// Every payload of a sample database goes to the target that decodes its kind.
void seed_from(const fs::path& dat, const fs::path& root) {
  auto db = quillmere_dat::DatDatabase::open(dat);
  if (!db) return;
  for (std::uint32_t id : db->sorted_ids()) {
    auto payload = db->get_file(id);
    if (!payload) continue;
    const auto name = fmt_id(id);
    const std::uint32_t low = id & 0xFFFF;
    if (id == 0x0E00000E) put(root / "fuzz_spell_table", name, *payload);
    else if (id >> 24 == 0x0E && id >> 16 == 0x0E00) put(root / "fuzz_weenie_table", name, *payload);
    else if (id >> 24 == 0x0E) put(root / "fuzz_weenie", name, *payload);
    else if (db->header().dataset == 2 && low == 0xFFFF) put(root / "fuzz_cell_landblock", name, *payload);
    else if (db->header().dataset == 2 && low == 0xFFFE) put(root / "fuzz_landblock_info", name, *payload);
  }
}

}  // namespace

std::string fmt_id(std::uint32_t id) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", id);
  return buf;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const fs::path root = argv[1];
  const fs::path sample = root / "sample";
  fs::create_directories(sample);
  qm_sample::write_portal(sample / "portal.dat");
  qm_sample::write_extras(sample);
  seed_from(sample / "portal.dat", root);
  seed_from(sample / "cell.dat", root);

  qm_test::DatBuilder small(256, 2);
  small.tree_shape(2, 3);
  for (std::uint32_t i = 0; i < 12; ++i)
    small.add(0x0001FFFE + (i << 16), Bytes(20 + i * 9, static_cast<std::uint8_t>(i)), i % 2);
  put(root / "fuzz_dat_open", "cell.dat", small.build());
  qm_test::DatBuilder tiny(64, 1);
  tiny.add(0x06000001, {1, 2, 3, 4, 5}, true);
  put(root / "fuzz_dat_open", "tiny.dat", tiny.build());

  put(root / "fuzz_lrs", "tone", qm_test::lrs_compress(qm_sample::tone_sound()));
  put(root / "fuzz_lrs", "text", qm_test::lrs_compress(Bytes(300, 'a')));

  put(root / "fuzz_text", "plain", text("\x05\x00Hello\x03\x00\xEF\xBB\xBF"));
  put(root / "fuzz_text", "utf16", text(std::string("\x06\x00\xFF\xFE\x41\x00\xD8\x00", 8)));
  for (const char* id : {"0x0E00000E", "10", " 1a ", "+7", "FFFFFFFF", "4294967296", "0x"})
    put(root / "fuzz_parse_id", id[0] == ' ' ? "space" : id, text(id));
  // Archives: the sample packed (compressed), and a small one with two namespaces.
  for (const char* name : {"portal.dat", "cell.dat"}) {
    auto db = quillmere_dat::DatDatabase::open(sample / name);
    auto writer = quillmere_dat::archive::QmaWriter::create();
    for (std::uint32_t id : db->sorted_ids())
      (void)writer.add(name[0] == 'c' ? "eor/cell" : "eor/portal", id, id >> 24, *db->get_file(id));
    const auto out = sample / (std::string(name) + ".qma");
    (void)writer.write(out);
    auto bytes = qm_test::read_file(out);
    put(root / "fuzz_qma", name, bytes);
    put(root / "fuzz_commands", std::string(name) + ".qma", bytes);
    put(root / "fuzz_commands", name, qm_test::read_file(sample / name));
  }
  qm_test::QmaArchiveBuilder two;
  two.add("eor/cell", 1, 0xFE, {1, 2, 3}).add("eor/cell", 9, 0xFF, {4}).add("eor/portal", 1, 6, {5, 6});
  put(root / "fuzz_qma", "two-namespaces", two.build());

  std::printf("seeds written to %s\n", root.c_str());
  return 0;
}
