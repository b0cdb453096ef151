// The sample databases survive export of every entry, qma-pack and reading back from the archive.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "quillmere_dat/archive/reader.hpp"
#include "quillmere_dat/database.hpp"
#include "quillmere_dat/file_type.hpp"
#include "run_program.hpp"
#include "run_tool.hpp"
#include "sample_parts.hpp"

namespace {

namespace fs = std::filesystem;
using qm_test::run_tool;

void round_trip(const fs::path& dat, const std::string& archive_name, bool compress) {
  qm_test::TempDir dir;
  auto db = quillmere_dat::DatDatabase::open(dat);
  ASSERT_TRUE(db);
  const auto kind = quillmere_dat::dataset_kind(db->header());
  fs::create_directory(dir / "files");
  for (std::uint32_t id : db->sorted_ids()) {
    const auto type = static_cast<std::uint32_t>(db->entries().at(id).file_type_in_dat(kind));
    const auto name = fmt::format("files/{:08X}.{:X}", id, type);
    auto r = run_tool({"export", dat.string(), fmt::format("0x{:08X}", id), "-o", name}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::vector<std::string> pack = {"qma-pack", "files", archive_name};
  if (compress) pack.push_back("-c");
  auto packed = run_tool(pack, dir.path());
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(packed.out, fmt::format("Packing files from \"files\" into \"{}\"\nSuccessfully packed {} files into \"{}\"\n",
                                    archive_name, db->entries().size(), archive_name));

  auto reader = quillmere_dat::archive::QmaReader::open(dir / archive_name);
  ASSERT_TRUE(reader) << reader.error().message();
  ASSERT_EQ(reader->entry_count(), db->entries().size());
  const std::string ns = archive_name.find("cell") != std::string::npos ? "eor/cell" : "eor/portal";
  for (std::uint32_t id : db->sorted_ids()) {
    auto entry = reader->find_entry(id);
    ASSERT_TRUE(entry) << std::hex << id;
    EXPECT_EQ(entry->namespace_id()->as_str(), ns);
    EXPECT_EQ(entry->type_id, static_cast<std::uint32_t>(db->entries().at(id).file_type_in_dat(kind)));
    EXPECT_EQ(*reader->read_entry_data(*entry), *db->get_file(id)) << std::hex << id;
  }
  auto check = qm_test::run_program({"python3", (fs::path(QM_SOURCE_DIR) / "tests/py/check_qma.py").string(),
                                     "--written", "--zstd", "zstd", (dir / archive_name).string()});
  EXPECT_EQ(check.out, "ok\n") << check.err;
}

TEST(SampleRoundTrip, PortalAndCellThroughExportAndPack) {
  qm_test::TempDir sample;
  qm_sample::write_portal(sample / "portal.dat");
  qm_sample::write_extras(sample.path());
  round_trip(sample / "portal.dat", "portal.qma", true);
  round_trip(sample / "portal.dat", "plain.qma", false);
  round_trip(sample / "cell.dat", "cell.qma", true);
}

// The commands print the same from a database and from the archive packed from it.
TEST(SampleRoundTrip, CommandsAgreeOnDatabaseAndArchive) {
  qm_test::TempDir dir;
  qm_sample::write_portal(dir / "portal.dat");
  qm_sample::write_extras(dir.path());
  for (const char* name : {"portal", "cell"}) {
    auto db = quillmere_dat::DatDatabase::open(dir / (std::string(name) + ".dat"));
    const auto kind = quillmere_dat::dataset_kind(db->header());
    fs::create_directory(dir / name);
    for (std::uint32_t id : db->sorted_ids())
      qm_test::write_file(dir / name / fmt::format("{:08X}.{:X}", id, static_cast<std::uint32_t>(db->entries().at(id).file_type_in_dat(kind))),
                          *db->get_file(id));
    ASSERT_EQ(run_tool({"qma-pack", name, std::string(name) + "_sample.qma", "-c"}, dir.path()).status, 0);
  }
  const std::vector<std::vector<std::string>> same = {
      {"spell-export", "{}"}, {"spell-export", "{}", "--schools", "war,void", "--preset", "minimal"},
      {"weenie", "{}", "0x0E100001"}, {"landblock", "{}", "0x3A5FFFFF"}, {"landblock", "{}", "0x0102FFFF"},
  };
  for (auto args : same) {
    const bool cell = args[0] == "landblock";
    auto dat_args = args, qma_args = args;
    dat_args[1] = cell ? "cell.dat" : "portal.dat";
    qma_args[1] = cell ? "cell_sample.qma" : "portal_sample.qma";
    auto a = run_tool(dat_args, dir.path());
    auto b = run_tool(qma_args, dir.path());
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, b.out) << args[0];
  }
  // weenie-find names the namespace for an archive.
  auto hits = run_tool({"weenie-find", "portal_sample.qma", "4242"}, dir.path());
  EXPECT_NE(hits.out.find("Hit in table eor/portal:0E000003\n"), std::string::npos) << hits.out;
}

}  // namespace
