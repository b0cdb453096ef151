#include <cmath>
#include <string>

#include <cstdio>
#include <stdexcept>

#include "quillmere_dat/file_type.hpp"
#include "records_builder.hpp"
#include "run_tool.hpp"
#include "spell_builder.hpp"
#include "sample_parts.hpp"

namespace qm_sample {

namespace {

using quillmere_dat::landblock::BuildInfo;
using quillmere_dat::landblock::CellLandblock;
using quillmere_dat::landblock::Frame;
using quillmere_dat::landblock::LandblockInfo;
using quillmere_dat::landblock::PortalInternal;
using quillmere_dat::landblock::RestrictionTable;
using quillmere_dat::landblock::Stab;

const char* const kNouns[] = {"Sword", "Shield", "Lantern", "Beetle", "Marmot", "Scroll", "Amulet", "Banner"};
const char* const kAdjectives[] = {"Ancient", "Gilded", "Rusted", "Frozen", "Glowing", "Crude"};

qm_test::RawWeenie make_weenie(std::uint32_t wcid) {
  qm_test::RawWeenie w;
  w.class_id = wcid;
  w.weenie_type = 1 + wcid % 40;
  w.unused = wcid * 7;
  w.name(std::string(kAdjectives[wcid % 6]) + " " + kNouns[wcid % 8]);
  if (wcid % 5 != 0) w.icon(0x06001000 + wcid % 300);
  w.ints = {{1, static_cast<std::int32_t>(wcid % 64)}, {5, 100 + static_cast<std::int32_t>(wcid % 900)},
            {19, static_cast<std::int32_t>(wcid % 11)}};
  if (wcid % 3 == 0) w.int64s = {{1, 1000000LL * wcid}};
  w.bools = {{1, static_cast<std::uint8_t>(wcid % 2)}, {11, 1}};
  w.floats = {{5, 1.0 + wcid / 1000.0}, {39, 0.25 * (wcid % 4)}};
  if (wcid % 4 == 0) w.strings.emplace_back(16, "A description of item " + std::to_string(wcid) + ".");
  w.data_ids.emplace_back(1, 0x02000000 + wcid % 50);
  if (wcid % 7 == 0) w.instance_ids = {{2, 0x50000000u + wcid}};
  return w;
}

std::vector<std::uint8_t> weenie_table(std::uint32_t id, std::uint32_t first, std::uint32_t count,
                                       std::uint32_t shared_wcid) {
  qm_test::RawWeenieTable t;
  t.id = id;
  for (std::uint32_t wcid = first; wcid < first + count; ++wcid) t.entries.emplace_back(wcid, make_weenie(wcid));
  t.entries.emplace_back(shared_wcid, make_weenie(shared_wcid));
  return qm_test::weenie_table_payload(t);
}

Frame frame_at(float x, float y, float z, float turn) {
  Frame f;
  f.origin = {x, y, z};
  f.orientation = {std::cos(turn / 2), 0.0f, 0.0f, std::sin(turn / 2)};
  return f;
}

CellLandblock terrain(std::uint32_t id, bool has_objects, int seed) {
  CellLandblock lb;
  lb.id = id;
  lb.has_objects = has_objects ? 1 : 0;
  for (std::size_t i = 0; i < lb.height.size(); ++i) {
    const double x = static_cast<double>(i / 9), y = static_cast<double>(i % 9);
    lb.height[i] = static_cast<std::uint8_t>(std::lround(60 + 50 * std::sin((x + seed) / 3) * std::cos(y / 4) + seed * 9));
    lb.terrain[i] = static_cast<std::uint16_t>((i * 37 + static_cast<std::size_t>(seed) * 11) % 0x10000);
  }
  lb.height[0] = 7;
  lb.height[80] = 255;
  return lb;
}

PortalInternal portal(std::uint16_t cell, std::size_t stabs) {
  PortalInternal p;
  p.flags = 2;
  p.other_cell_id = cell;
  p.other_portal_id = static_cast<std::uint16_t>(cell + 1);
  for (std::size_t i = 0; i < stabs; ++i) p.stab_list.push_back(static_cast<std::uint16_t>(0x100 + i));
  return p;
}

}  // namespace

// A few dozen spells over every school, windows-1252 texts with accents and curly quotes, one
// UTF-16 name, enchantment and portal-summon extras, and spell sets with tiers.
std::vector<std::uint8_t> spell_table() {
  qm_test::SpellTableBuilder t;
  const char* const kinds[] = {"Flame Bolt", "Frost Lance", "Heal Self", "Armor of the Céleste", "Keen Edge",
                               "Strength of the Bear", "Nether Arc", "Homeward Step"};
  std::uint32_t id = 1;
  for (std::uint32_t school = 1; school <= 5; ++school) {
    for (std::uint32_t k = 0; k < 7; ++k, ++id) {
      const std::uint32_t meta = k % 3 == 0 ? 1 : k == 5 ? 7 : k == 4 ? 12 : 0;
      std::string name = std::string(kinds[(school + k) % 8]) + " " + std::to_string(k + 1);
      std::string description = "Level " + std::to_string(k + 1) + " of \u201c" + kinds[(school + k) % 8] +
                                "\u201d \u2014 the caster’s résumé.";
      auto spell = qm_test::make_spell(id * 3, name, description, school, 100 + k % 4, meta);
      spell.base_range_constant = 5.0f + static_cast<float>(k);
      spell.base_range_mod = 0.1f * static_cast<float>(k);
      t.add_spell(id * 3, spell);
    }
  }
  // One name stored as UTF-16 with its mark.
  auto utf16 = qm_test::make_spell(9001, "", "Stored in UTF-16.", 2, 7, 0);
  std::vector<std::uint8_t> name = {0xFF, 0xFE};
  for (char16_t ch : std::u16string(u"Ωmega Ward")) {
    name.push_back(static_cast<std::uint8_t>(ch));
    name.push_back(static_cast<std::uint8_t>(ch >> 8));
  }
  std::string desc = "Stored in UTF-16.";
  t.add_spell_raw(9001, utf16, name, std::vector<std::uint8_t>(desc.begin(), desc.end()));
  t.add_set(1, {qm_test::TierSpec(1, {3, 6, 9}), qm_test::TierSpec(2, {12, 15})});
  t.add_set(2, {qm_test::TierSpec(10, {21})});
  return t.build();
}

void add_portal_records(qm_test::DatBuilder& b) {
  b.add(0x0E00000E, spell_table(), true);
  // Two weenie tables; WCID 4242 sits in both.
  b.add(0x0E000003, weenie_table(0x0E000003, 1, 180, 4242), true);
  b.add(0x0E000004, weenie_table(0x0E000004, 2000, 150, 4242));
  auto solo = make_weenie(31337);
  solo.name("Sample Lantern");
  b.add(0x0E100001, qm_test::weenie_payload(solo));
}

void write_cell(const std::filesystem::path& path) {
  qm_test::DatBuilder b(256, 2);
  b.tree_shape(4, 3);
  // 3A5F: buildings with portals and odd stab lists, a restriction table.
  b.add(0x3A5FFFFF, qm_test::cell_landblock_payload(terrain(0x3A5FFFFF, true, 1)), true);
  LandblockInfo a9;
  a9.id = 0x3A5FFFFE;
  a9.num_cells = 12;
  for (int i = 0; i < 5; ++i) a9.objects.push_back(Stab{0x01000100u + static_cast<std::uint32_t>(i), frame_at(10.5f * static_cast<float>(i), 20.25f, 0.0f, 0.3f * static_cast<float>(i))});
  BuildInfo inn;
  inn.model_id = 0x01001234;
  inn.frame = frame_at(84.0f, 131.5f, 52.00125f, 1.5f);
  inn.num_leaves = 3;
  inn.portals = {portal(0x0100, 3), portal(0x0102, 2), portal(0x0104, 1)};
  BuildInfo tower;
  tower.model_id = 0x01005678;
  tower.frame = frame_at(0.0f, 0.0f, 0.0f, 0.0f);
  tower.portals = {portal(0x0110, 5)};
  a9.buildings = {inn, tower};
  a9.pack_mask = LandblockInfo::kHasRestrictionTable;
  a9.restriction_tables = RestrictionTable{{{0x3A5F0100u, 0x7000001Fu}, {0x3A5F0102u, 0x7000002Au}}};
  b.add(0x3A5FFFFE, qm_test::landblock_info_payload(a9));
  for (std::uint32_t cell = 0x0100; cell < 0x010C; ++cell)
    b.add(0x3A5F0000 | cell, std::vector<std::uint8_t>(80 + cell % 7, static_cast<std::uint8_t>(cell)));
  // 7C21: objects, no buildings.
  b.add(0x7C21FFFF, qm_test::cell_landblock_payload(terrain(0x7C21FFFF, true, 2)));
  LandblockInfo c6;
  c6.id = 0x7C21FFFE;
  for (int i = 0; i < 3; ++i) c6.objects.push_back(Stab{0x01002000u + static_cast<std::uint32_t>(i), frame_at(1e-5f * static_cast<float>(i), 1e17f, -2.0f, 0.0f)});
  b.add(0x7C21FFFE, qm_test::landblock_info_payload(c6));
  // 0102: open land with no static record.
  b.add(0x0102FFFF, qm_test::cell_landblock_payload(terrain(0x0102FFFF, false, 3)));
  b.add(0xFFFF0001, std::vector<std::uint8_t>(8, 1));
  b.write(path);
}

// Every entry of a sample database as a file named [ID].[TYPE], the input qma-pack takes.
void write_pack_folder(const std::filesystem::path& dat, const std::filesystem::path& folder) {
  auto db = quillmere_dat::DatDatabase::open(dat);
  if (!db) throw std::runtime_error(db.error().message());
  std::filesystem::create_directories(folder);
  const auto kind = quillmere_dat::dataset_kind(db->header());
  for (std::uint32_t id : db->sorted_ids()) {
    char name[32];
    std::snprintf(name, sizeof name, "%08X.%X", id,
                  static_cast<unsigned>(db->entries().at(id).file_type_in_dat(kind)));
    qm_test::write_file(folder / name, *db->get_file(id));
  }
}

void write_extras(const std::filesystem::path& out) {
  write_cell(out / "cell.dat");
  write_pack_folder(out / "portal.dat", out / "portal-files");
  write_pack_folder(out / "cell.dat", out / "cell-files");
}

}  // namespace qm_sample
