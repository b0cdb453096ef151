#include "workloads.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "dat_builder.hpp"
#include "quillmere_dat/archive/reader.hpp"
#include "quillmere_dat/archive/writer.hpp"
#include "quillmere_dat/file.hpp"
#include "records_builder.hpp"
#include "spell_builder.hpp"

namespace qm_bench {

namespace {

using quillmere_dat::landblock::CellLandblock;
using quillmere_dat::landblock::Frame;
using quillmere_dat::landblock::LandblockInfo;
using quillmere_dat::landblock::Stab;

// splitmix64: cheap, deterministic, good enough to make payloads differ.
struct Rng {
  std::uint64_t s;
  explicit Rng(std::uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E5Bull) {}
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
  // Log-uniform in [lo, hi]: many small values, a long tail of large ones.
  std::size_t log_uniform(std::size_t lo, std::size_t hi) {
    const double l = std::log(static_cast<double>(lo)), h = std::log(static_cast<double>(hi));
    return std::clamp<std::size_t>(static_cast<std::size_t>(std::exp(l + (h - l) * unit())), lo, hi);
  }
};

void put_le(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put_f32(std::vector<std::uint8_t>& out, float f) {
  std::uint32_t v;
  std::memcpy(&v, &f, 4);
  put_le(out, v);
}

// Writes `fill(tmp)` into a temporary beside `target` and renames it into place.
fs::path ensure(const fs::path& target, const std::function<void(const fs::path&)>& fill) {
  if (fs::exists(target)) return target;
  auto tmp = target;
  tmp += ".partial";
  fs::remove_all(tmp);
  std::fprintf(stderr, "make_workloads: writing %s\n", target.c_str());
  fill(tmp);
  fs::rename(tmp, target);
  return target;
}

void write_bytes(const fs::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

quillmere_dat::utils::File create_file(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path.string());
  return quillmere_dat::utils::File(fd);
}

// ---- cell entries ----

std::vector<std::uint8_t> indoor_cell(std::uint32_t id, Rng& rng) {
  // Flags, environment, surfaces, a position and a few visible-cell words, as an indoor cell has.
  std::vector<std::uint8_t> p;
  put_le(p, id);
  put_le(p, rng.below(4));
  const std::uint32_t surfaces = 1 + rng.below(6), portals = rng.below(4);
  put_le(p, surfaces | (portals << 8));
  put_le(p, 0x0D000000u + rng.below(3000));
  for (std::uint32_t s = 0; s < surfaces; ++s) put_le(p, 0x08000000u + rng.below(5000));
  for (int k = 0; k < 7; ++k) put_f32(p, static_cast<float>(rng.below(19200)) / 100.0f);
  for (std::uint32_t k = 0; k < portals; ++k) {
    put_le(p, (id & 0xFFFF0000u) | (0x100 + rng.below(48)));
    put_le(p, rng.below(16));
  }
  const std::size_t target = 40 + rng.below(213);  // 40 to 252 bytes: one 256-byte block
  while (p.size() + 2 <= target) {
    const auto v = static_cast<std::uint16_t>(0x100 + rng.below(48));
    p.push_back(static_cast<std::uint8_t>(v));
    p.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  p.resize(std::min<std::size_t>(p.size(), 252));
  return p;
}

// ---- portal entries ----

struct Kind {
  std::uint32_t prefix;
  double share;
  std::size_t lo, hi;
};
// About 9.8 KiB per entry on average, so 100,000 entries come to about 0.95 GiB.
constexpr Kind kKinds[] = {
    {0x06, 0.250, 1024, 49152},      // textures
    {0x01, 0.250, 256, 32768},       // models
    {0x03, 0.100, 1024, 32768},      // animations
    {0x0A, 0.045, 4096, 131072},     // sounds
    {0x02, 0.100, 128, 4096},        // setups
    {0x08, 0.150, 32, 128},          // surfaces
    {0x23, 0.100, 256, 16384},       // string tables
    {0x06, 0.005, 262144, 1 << 20},  // large textures and sounds (every other one a sound)
};

const char* const kWords[] = {"the", "of", "gate", "a", "town", "north", "dark", "and", "to", "river", "stone",
                              "you", "tower", "in", "guard", "lord", "sword", "is", "mountain", "old", "road"};

void fill_random(std::vector<std::uint8_t>& p, Rng& rng) {
  for (std::size_t i = 0; i < p.size(); i += 8) {
    const auto v = rng.next();
    std::memcpy(p.data() + i, &v, std::min<std::size_t>(8, p.size() - i));
  }
}
// Raw 32-bit pixels: smooth colour gradients, constant alpha and one noisy pixel in eight
// (zstd level 3 takes it to about a fifth).
void fill_pixels(std::vector<std::uint8_t>& p, Rng& rng) {
  constexpr std::size_t kWidth = 256;
  for (std::size_t i = 0; i + 4 <= p.size(); i += 4) {
    const std::size_t x = (i / 4) % kWidth, y = (i / 4) / kWidth;
    const auto noise = rng.next();
    const auto jitter = static_cast<std::uint8_t>((noise & 7) == 0 ? (noise >> 8) & 15 : 0);
    p[i] = static_cast<std::uint8_t>(x / 8 + y / 5 + jitter);
    p[i + 1] = static_cast<std::uint8_t>(x / 16 + 2 * (y / 7));
    p[i + 2] = static_cast<std::uint8_t>(128 + x / 32 - y / 9 + jitter / 2);
    p[i + 3] = 0xFF;
  }
}
// Vertex-like floats from a random walk: exponents repeat, mantissas do not.
void fill_floats(std::vector<std::uint8_t>& p, Rng& rng) {
  float x = 0;
  for (std::size_t i = 0; i + 4 <= p.size(); i += 4) {
    x += static_cast<float>(rng.unit() - 0.5);
    if ((i / 4) % 8 == 7) x = static_cast<float>(rng.below(64));
    std::memcpy(p.data() + i, &x, 4);
  }
}
// 16-bit sound: a few tones with noise.
void fill_audio(std::vector<std::uint8_t>& p, Rng& rng) {
  const double f1 = 0.01 + rng.unit() * 0.05, f2 = 0.002 + rng.unit() * 0.01;
  for (std::size_t i = 0; i + 2 <= p.size(); i += 2) {
    const double t = static_cast<double>(i / 2);
    const auto s = static_cast<std::int16_t>(9000 * std::sin(t * f1) + 4000 * std::sin(t * f2) +
                                             static_cast<double>(rng.below(512)) - 256);
    p[i] = static_cast<std::uint8_t>(s);
    p[i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8);
  }
}
void fill_text(std::vector<std::uint8_t>& p, Rng& rng) {
  std::size_t i = 0;
  while (i < p.size()) {
    const char* w = kWords[rng.below(std::size(kWords))];
    for (; *w && i < p.size(); ++w) p[i++] = static_cast<std::uint8_t>(*w);
    if (i < p.size()) p[i++] = rng.below(12) == 0 ? '\n' : ' ';
  }
}

std::vector<std::uint8_t> portal_payload(std::uint32_t prefix, std::size_t size, bool sound, Rng& rng) {
  std::vector<std::uint8_t> p(size);
  switch (prefix) {
    case 0x06:
      if (sound)
        fill_audio(p, rng);
      else if (rng.below(2))
        fill_random(p, rng);  // JPEG-compressed textures: incompressible
      else
        fill_pixels(p, rng);
      break;
    case 0x0A: fill_audio(p, rng); break;
    case 0x23: fill_text(p, rng); break;
    case 0x08: fill_random(p, rng); break;
    default: fill_floats(p, rng); break;
  }
  return p;
}

// ---- records ----

const char* const kNouns[] = {"Sword", "Shield", "Lantern", "Goblin", "Salamander", "Scroll", "Amulet", "Banner",
                              "Gauntlets", "Wand", "Wyvern", "Minotaur", "Robe", "Helm", "Bow", "Potion"};
const char* const kAdjectives[] = {"Ancient", "Gilded", "Rusted", "Frozen", "Glowing", "Crude", "Runed", "Sturdy",
                                   "Fine", "Cursed", "Blessed", "Heavy"};

qm_test::RawWeenie make_weenie(std::uint32_t wcid) {
  qm_test::RawWeenie w;
  w.class_id = wcid;
  w.weenie_type = 1 + wcid % 40;
  w.unused = wcid * 7;
  const std::string noun = kNouns[wcid % 16], adjective = kAdjectives[(wcid / 16) % 12];
  w.name(adjective + " " + noun);
  if (wcid % 5 != 0) w.icon(0x06001000 + wcid % 3000);
  for (std::uint32_t k = 0; k < 10; ++k)
    w.ints.emplace_back(1 + k * 3, static_cast<std::int32_t>((wcid * (k + 7)) % 5000));
  if (wcid % 3 == 0) w.int64s = {{1, 1000000LL * wcid}, {2, 77LL * wcid}};
  w.bools = {{1, static_cast<std::uint8_t>(wcid % 2)}, {11, 1}, {19, static_cast<std::uint8_t>(wcid % 3 == 0)}};
  w.floats = {{5, 1.0 + wcid / 1000.0}, {12, 0.5}, {39, 0.25 * (wcid % 4)}, {76, 2.0 + wcid % 9}};
  w.strings.emplace_back(16, "The " + noun + " is " + adjective + ", number " + std::to_string(wcid) + ".");
  if (wcid % 2 == 0) w.strings.emplace_back(14, "Use it to strike at " + std::string(kNouns[(wcid + 3) % 16]) + "s.");
  w.data_ids = {{1, 0x02000000 + wcid % 500}, {3, 0x20000000 + wcid % 40}, {22, 0x34000000 + wcid % 30}};
  if (wcid % 7 == 0) w.instance_ids = {{2, 0x50000000u + wcid}};
  return w;
}

const char* const kSpellWords[] = {"Flame", "Frost", "Acid", "Lightning", "Blade", "Force", "Heal", "Regenerate",
                                   "Strength", "Endurance", "Perseverance", "Vigor", "Armor", "Invulnerability",
                                   "Beacon", "Return", "Shadow", "Corrosion"};
const char* const kSpellShapes[] = {"Dart", "Stream", "Arc", "Ring", "Wall", "Blast", "Flurry", "Aura", "Touch"};

std::vector<std::uint8_t> spell_table_bytes() {
  qm_test::SpellTableBuilder t;
  const std::uint32_t metas[] = {1, 1, 1, 12, 7, 0, 1, 12};
  for (std::uint32_t i = 0; i < kSpellCount; ++i) {
    const std::uint32_t id = 1 + i;
    const std::string word = kSpellWords[i % 18], shape = kSpellShapes[(i / 18) % 9];
    const std::uint32_t level = 1 + i % 8;
    std::string name = word + " " + shape + " " + std::to_string(level);
    // Some names and most descriptions carry windows-1252 characters (curly quotes, accents).
    if (i % 10 == 0) name += " (\u00e9lite)";
    std::string description = "Level " + std::to_string(level) + " \u201c" + word + " " + shape +
                              "\u201d: affects the target for " + std::to_string(30 * level) +
                              " seconds. The caster\u2019s r\u00e9sum\u00e9 grows.";
    auto spell = qm_test::make_spell(id, name, description, 1 + i % 5, 1 + (i / 5) % 700, metas[i % 8]);
    spell.base_range_constant = 5.0f + static_cast<float>(i % 20);
    spell.base_range_mod = 0.05f * static_cast<float>(i % 10);
    t.add_spell(id, spell);
  }
  for (std::uint32_t s = 0; s < 200; ++s) {
    std::vector<qm_test::TierSpec> tiers;
    for (std::uint32_t k = 0; k < 5; ++k) tiers.emplace_back(k + 1, std::vector<std::uint32_t>{1 + (s * 50 + k * 7) % kSpellCount, 2 + (s * 50 + k * 7) % kSpellCount});
    t.add_set(s + 1, std::move(tiers));
  }
  return t.build();
}

}  // namespace

fs::path work_dir() {
  static const fs::path dir = [] {
    const char* env = std::getenv("QM_BENCH_WORK");
    fs::path d = env && *env ? fs::path(env) : fs::path("/tmp/qm-bench-work");
    char version[16];
    std::snprintf(version, sizeof version, "v%d", kWorkloadVersion);
    d /= version;
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void for_each_cell_entry(std::uint32_t count, const EntryFn& fn) {
  constexpr std::uint32_t kCells = 48;
  std::uint32_t done = 0;
  for (std::uint32_t lb = 0; done < count; ++lb) {
    const std::uint32_t base = ((lb / 200 + 1) << 24) | ((lb % 200 + 1) << 16);  // landblock x, y
    Rng rng(base);
    for (std::uint32_t c = 0; c < kCells && done < count; ++c, ++done)
      fn(base | (0x100 + c), 0xFD, indoor_cell(base | (0x100 + c), rng));
    if (done < count) {
      LandblockInfo info;
      info.id = base | 0xFFFE;
      info.num_cells = kCells;
      for (std::uint32_t k = 0; k < 2 + rng.below(3); ++k) {
        Frame f;
        f.origin = {static_cast<float>(rng.below(192)), static_cast<float>(rng.below(192)), 10.0f};
        info.objects.push_back(Stab{0x01000000u + rng.below(9000), f});
      }
      fn(info.id, 0xFF, qm_test::landblock_info_payload(info));
      ++done;
    }
    if (done < count) {
      CellLandblock land;
      land.id = base | 0xFFFF;
      land.has_objects = 1;
      for (std::size_t k = 0; k < land.height.size(); ++k) {
        land.height[k] = static_cast<std::uint8_t>(40 + (k * 7 + lb) % 120);
        land.terrain[k] = static_cast<std::uint16_t>(rng.below(0x10000));
      }
      fn(land.id, 0xFE, qm_test::cell_landblock_payload(land));
      ++done;
    }
  }
}

void for_each_portal_entry(std::uint32_t count, const PortalFn& fn) {
  std::uint32_t next_id[256] = {};
  Rng pick(77);
  for (std::uint32_t i = 0; i < count; ++i) {
    double u = pick.unit();
    std::size_t k = 0;
    while (k + 1 < std::size(kKinds) && u >= kKinds[k].share) u -= kKinds[k++].share;
    const Kind& kind = kKinds[k];
    const bool large = k + 1 == std::size(kKinds);
    const bool sound = large && (next_id[0xFF]++ % 2 == 1);
    const std::uint32_t prefix = sound ? 0x0Au : kind.prefix;
    const std::uint32_t id = (prefix << 24) | (0x1000 + next_id[prefix]++);
    Rng rng(0x5000000000ull + i);
    const std::size_t size = rng.log_uniform(kind.lo, kind.hi);
    fn(id, prefix, portal_payload(prefix, size, sound, rng), i % 3 == 0);
  }
}

fs::path ensure_cell_dat() {
  return ensure(work_dir() / "cell-500k.dat", [](const fs::path& tmp) {
    qm_test::DatBuilder b(256, 2);
    for_each_cell_entry(kCellDatEntries, [&](std::uint32_t id, std::uint32_t, std::vector<std::uint8_t>&& p) {
      b.add(id, std::move(p));
    });
    b.write(tmp);
  });
}

fs::path ensure_cell_stream() {
  return ensure(work_dir() / "cell-500k.stream", [](const fs::path& tmp) {
    std::vector<std::uint8_t> out;
    for_each_cell_entry(kCellDatEntries, [&](std::uint32_t id, std::uint32_t, std::vector<std::uint8_t>&& p) {
      put_le(out, id);
      put_le(out, static_cast<std::uint32_t>(p.size()));
      out.insert(out.end(), p.begin(), p.end());
    });
    write_bytes(tmp, out);
  });
}

fs::path ensure_cell_1m_dat() {
  return ensure(work_dir() / "cell-1m.dat", [](const fs::path& tmp) {
    qm_test::DatBuilder b(256, 2);
    for_each_cell_entry(kArchiveEntries, [&](std::uint32_t id, std::uint32_t, std::vector<std::uint8_t>&& p) {
      b.add(id, std::move(p));
    });
    b.write(tmp);
  });
}

fs::path ensure_cell_1m_qma() {
  return ensure(work_dir() / "cell-1m.qma", [](const fs::path& tmp) {
    auto writer = quillmere_dat::archive::QmaStreamWriter::create(create_file(tmp), true);
    if (!writer) throw std::runtime_error("cannot start the archive");
    for_each_cell_entry(kArchiveEntries, [&](std::uint32_t id, std::uint32_t type, std::vector<std::uint8_t>&& p) {
      if (!writer->add(quillmere_dat::archive::kCellNamespace, id, type, p)) throw std::runtime_error("archive add failed");
    });
    if (!writer->finish()) throw std::runtime_error("archive finish failed");
  });
}

namespace {
// The DAT and the folder hold the same payloads; one pass writes whichever is missing.
void make_portal(bool want_dat, bool want_files) {
  const fs::path dat = work_dir() / "portal-100k.dat", files = work_dir() / "portal-files";
  fs::path dat_tmp = dat, files_tmp = files;
  dat_tmp += ".partial";
  files_tmp += ".partial";
  if (want_files) {
    fs::remove_all(files_tmp);
    fs::create_directories(files_tmp);
    std::fprintf(stderr, "make_workloads: writing %s\n", files.c_str());
  }
  if (want_dat) std::fprintf(stderr, "make_workloads: writing %s\n", dat.c_str());
  qm_test::DatBuilder b(1024, 1);
  char name[32];
  for_each_portal_entry(kPortalEntries, [&](std::uint32_t id, std::uint32_t type, std::vector<std::uint8_t>&& p,
                                            bool lrs) {
    if (want_files) {
      std::snprintf(name, sizeof name, "%08X.%X", id, type);
      write_bytes(files_tmp / name, p);
    }
    if (want_dat) b.add(id, std::move(p), lrs);
  });
  if (want_dat) {
    b.write(dat_tmp);
    fs::rename(dat_tmp, dat);
  }
  if (want_files) fs::rename(files_tmp, files);
}
}  // namespace

fs::path ensure_portal_dat() {
  const fs::path dat = work_dir() / "portal-100k.dat";
  if (!fs::exists(dat)) make_portal(true, !fs::exists(work_dir() / "portal-files"));
  return dat;
}

fs::path ensure_portal_files() {
  const fs::path files = work_dir() / "portal-files";
  if (!fs::exists(files)) make_portal(!fs::exists(work_dir() / "portal-100k.dat"), true);
  return files;
}

fs::path ensure_big_qma() {
  return ensure(work_dir() / "big-64m.qma", [](const fs::path& tmp) {
    // A raw texture: compresses, but not to nothing, so decompression is real work.
    Rng rng(64);
    std::vector<std::uint8_t> payload(kBigEntrySize);
    fill_pixels(payload, rng);
    auto writer = quillmere_dat::archive::QmaStreamWriter::create(create_file(tmp), true);
    if (!writer || !writer->add(quillmere_dat::archive::kPortalNamespace, 0x06000001, 0x06, payload) ||
        !writer->finish())
      throw std::runtime_error("cannot write the large archive");
  });
}

fs::path ensure_big_frame() {
  const fs::path qma = ensure_big_qma();
  return ensure(work_dir() / "big-64m.zst", [&](const fs::path& tmp) {
    auto reader = quillmere_dat::archive::QmaReader::open(qma);
    if (!reader) throw std::runtime_error("cannot open the large archive");
    auto entry = reader->read_entry_at(0);
    if (!entry || !(entry->flags & quillmere_dat::archive::kFlagCompressed))
      throw std::runtime_error("the large entry is not compressed");
    std::vector<std::uint8_t> frame(entry->comp_size);
    if (!quillmere_dat::utils::read_exact_at_compat(reader->file(), frame, entry->offset))
      throw std::runtime_error("cannot read the large entry");
    write_bytes(tmp, frame);
  });
}

fs::path ensure_spell_dat() {
  return ensure(work_dir() / "spells-10k.dat", [](const fs::path& tmp) {
    qm_test::DatBuilder b(1024, 1);
    b.add(0x0E00000E, spell_table_bytes(), true);
    b.write(tmp);
  });
}

std::vector<std::uint8_t> weenie_table_bytes(std::uint32_t t) {
  qm_test::RawWeenieTable table;
  table.id = kFirstWeenieTable + t;
  for (std::uint32_t k = 1; k <= kWeeniesPerTable; ++k) {
    const std::uint32_t wcid = t * kWeeniesPerTable + k;
    table.entries.emplace_back(wcid, make_weenie(wcid));
  }
  return qm_test::weenie_table_payload(table);
}

fs::path ensure_weenie_dat() {
  return ensure(work_dir() / "weenies-200x1000.dat", [](const fs::path& tmp) {
    qm_test::DatBuilder b(1024, 1);
    for (std::uint32_t t = 0; t < kWeenieTables; ++t) b.add(kFirstWeenieTable + t, weenie_table_bytes(t));
    b.write(tmp);
  });
}

}  // namespace qm_bench
