#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include "dat_builder.hpp"
#include "run_tool.hpp"
#include "sample_parts.hpp"

namespace {

using qm_test::DatBuilder;
using qm_test::run_tool;
using qm_test::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes texture(std::uint32_t format, std::size_t len) {
  Bytes p(len);
  for (std::size_t i = 0; i < len; ++i) p[i] = static_cast<std::uint8_t>(i * 3);
  if (len >= 20) {
    p[16] = static_cast<std::uint8_t>(format), p[17] = static_cast<std::uint8_t>(format >> 8);
    p[18] = p[19] = 0;
  }
  return p;
}

struct Fixture {
  TempDir dir;
  Fixture() {
    DatBuilder b(1024, 1);
    b.add(0x0600002A, texture(500, 1000));
    b.add(0x0600002B, texture(20, 1000));
    b.add(0x0600002C, texture(500, 23));
    b.add(0x0600002D, texture(20, 19));
    Bytes audio(130);
    for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<std::uint8_t>(i);
    b.add(0x0A000010, audio, true);
    b.add(0x0A000011, Bytes(29, 1));
    b.add(0x01000001, Bytes(10, 0x11));
    b.add(0x07000001, Bytes(10, 0x77));
    b.add(0x0E000001, Bytes(10, 0xEE));
    b.write(dir / "portal.dat");
  }
};

TEST(Extract, JpegTextureWritesImageDataAfterTheMessageOrder) {
  Fixture f;
  auto r = run_tool({"extract", "portal.dat", "0x0600002A"}, f.dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Extracted JPEG texture 0600002A to \"0600002A.jpg\"\n");
  auto jpg = qm_test::read_file(f.dir / "0600002A.jpg");
  EXPECT_EQ(jpg.size(), 976u);
  const Bytes payload = texture(500, 1000);
  EXPECT_EQ(jpg, Bytes(payload.begin() + 24, payload.end()));
}

TEST(Extract, FallbacksAndOutputOverride) {
  Fixture f;
  struct Case {
    const char* id;
    const char* out;
    const char* file;
    std::size_t size;
  };
  for (const auto& c : {
           Case{"0x0600002B", "Texture 0600002B is not a JPEG (Format 20), exporting as .bin\n", "0600002B.bin", 1000},
           Case{"0x01000001", "Model 01000001 (GraphicsObject) exported as .bin (custom model format)\n",
                "01000001.bin", 10},
           Case{"0x07000001", "No extraction specialist for type 07, exporting raw .bin\n", "07000001.bin", 10},
           Case{"0x0E000001", "No extraction specialist for type 0E, exporting raw .bin\n", "0E000001.bin", 10},
       }) {
    auto r = run_tool({"extract", "portal.dat", c.id}, f.dir.path());
    ASSERT_EQ(r.status, 0) << c.id << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(qm_test::read_file(f.dir / c.file).size(), c.size) << c.id;
  }
  EXPECT_EQ(run_tool({"extract", "portal.dat", "0x0600002A", "-o", "out.dat"}, f.dir.path()).out,
            "Extracted JPEG texture 0600002A to \"out.dat\"\n");
  EXPECT_EQ(qm_test::read_file(f.dir / "out.dat").size(), 976u);
  EXPECT_EQ(run_tool({"extract", "portal.dat", "0x0A000010", "-o", "out.dat"}, f.dir.path()).out,
            "Extracted WAV audio 0A000010 to \"out.dat\"\n");
  EXPECT_EQ(qm_test::read_file(f.dir / "out.dat").size(), 144u);
  ASSERT_EQ(run_tool({"extract", "portal.dat", "0x01000001", "-o", "out.dat"}, f.dir.path()).status, 0);
  EXPECT_EQ(qm_test::read_file(f.dir / "out.dat").size(), 10u);
}

TEST(Extract, WavHeaderIsBuiltFromThePayload) {
  Fixture f;
  auto r = run_tool({"extract", "portal.dat", "0x0A000010"}, f.dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Extracted WAV audio 0A000010 to \"0A000010.wav\"\n");
  auto wav = qm_test::read_file(f.dir / "0A000010.wav");
  ASSERT_EQ(wav.size(), 144u);
  auto u32 = [&](std::size_t at) { return wav[at] | wav[at + 1] << 8 | wav[at + 2] << 16 | wav[at + 3] << 24; };
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(u32(4), 136u);
  EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(u32(16), 16u);
  EXPECT_EQ(wav[20], 12);  // payload byte 12 starts the format chunk body
  EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
  EXPECT_EQ(u32(40), 100u);
  EXPECT_EQ(wav[44], 30);
  EXPECT_EQ(wav.back(), 129);
}

TEST(Extract, ShortPayloadsAndMissingFilesWriteNothing) {
  Fixture f;
  for (const char* id : {"0x0600002C", "0x0600002D", "0x0A000011", "0x0A0000FF"}) {
    auto r = run_tool({"extract", "portal.dat", id}, f.dir.path());
    EXPECT_EQ(r.status, 1) << id;
    EXPECT_TRUE(r.out.empty()) << id;
    EXPECT_TRUE(r.err.starts_with("Error: ")) << r.err;
  }
  EXPECT_EQ(run_tool({"extract", "portal.dat", "0x0A0000FF"}, f.dir.path()).err,
            "Error: File ID 0A0000FF not found in provider\n");
  std::size_t files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(f.dir.path())) ++files;
  EXPECT_EQ(files, 1u);  // only portal.dat
  auto r = run_tool({"extract", "portal.dat", "0x01000001", "-o", "missing/x.bin"}, f.dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Model 01000001 (GraphicsObject) exported as .bin (custom model format)\n");
  EXPECT_EQ(r.err, "Error: No such file or directory\n");
}

// The sample's texture and sound open in ordinary readers.
TEST(Extract, SampleTextureAndSoundOpenInRealReaders) {
  TempDir dir;
  qm_sample::write_portal(dir / "portal.dat");
  ASSERT_EQ(run_tool({"extract", "portal.dat", "0x06000001"}, dir.path()).status, 0);
  ASSERT_EQ(run_tool({"extract", "portal.dat", "0x0A000001"}, dir.path()).status, 0);

  auto jpg = qm_test::read_file(dir / "06000001.jpg");
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpg.data(), static_cast<unsigned long>(jpg.size()));
  ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
  jpeg_start_decompress(&cinfo);
  EXPECT_EQ(cinfo.output_width, static_cast<unsigned>(qm_sample::kPictureWidth));
  EXPECT_EQ(cinfo.output_height, static_cast<unsigned>(qm_sample::kPictureHeight));
  std::vector<unsigned char> row(cinfo.output_width * cinfo.output_components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);

  const std::string script = "import wave,sys; w=wave.open(sys.argv[1]); print(w.getnchannels(), w.getframerate(), "
                             "w.getnframes(), w.getsampwidth())";
  const std::string cmd = "python3 -c \"" + script + "\" " + (dir / "0A000001.wav").string();
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[128] = {};
  ASSERT_NE(fgets(buf, sizeof buf, p), nullptr);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(std::string(buf), "1 " + std::to_string(qm_sample::kToneRate) + " " +
                                  std::to_string(qm_sample::kToneSamples) + " 2\n");
}

}  // namespace
