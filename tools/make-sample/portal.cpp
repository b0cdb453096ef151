#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <stdexcept>

#include "sample_parts.hpp"

namespace qm_sample {

namespace {

void append_u16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

std::vector<std::uint8_t> encode_jpeg() {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long mem_size = 0;
  jpeg_mem_dest(&cinfo, &mem, &mem_size);
  cinfo.image_width = kPictureWidth;
  cinfo.image_height = kPictureHeight;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(kPictureWidth * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < kPictureWidth; ++x) {
      // A sunset: sky gradient, a sun disc and a dark horizon.
      const bool sun = (x - 40) * (x - 40) + (y - 18) * (y - 18) < 64;
      const bool ground = y > 34;
      row[3 * x] = static_cast<unsigned char>(ground ? 30 : sun ? 255 : 120 + y * 2);
      row[3 * x + 1] = static_cast<unsigned char>(ground ? 40 : sun ? 220 : 60 + y);
      row[3 * x + 2] = static_cast<unsigned char>(ground ? 30 : sun ? 90 : 160 - y * 2);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<std::uint8_t> out(mem, mem + mem_size);
  jpeg_destroy_compress(&cinfo);
  std::free(mem);
  return out;
}

std::vector<std::uint8_t> texture_header(std::uint32_t id, std::uint32_t format, std::uint32_t data_len) {
  std::vector<std::uint8_t> p;
  for (std::uint32_t v : {id, 0u, std::uint32_t(kPictureWidth), std::uint32_t(kPictureHeight), format, data_len})
    qm_test::append_u32(p, v);
  return p;
}

std::vector<std::uint8_t> bytes_of(std::size_t n, std::uint32_t seed, bool text) {
  std::vector<std::uint8_t> b(n);
  std::uint32_t s = seed;
  for (auto& x : b) {
    s = s * 1664525u + 1013904223u;
    x = text ? static_cast<std::uint8_t>("the quick brown fox "[(s >> 16) % 20]) : static_cast<std::uint8_t>(s >> 24);
  }
  return b;
}

}  // namespace

std::vector<std::uint8_t> jpeg_texture() {
  const auto jpeg = encode_jpeg();
  auto p = texture_header(0x06000001, 500, static_cast<std::uint32_t>(jpeg.size()));
  p.insert(p.end(), jpeg.begin(), jpeg.end());
  return p;
}

std::vector<std::uint8_t> tone_sound() {
  std::vector<std::uint8_t> p;
  for (std::uint32_t v : {0x0A000001u, 0u, kToneSamples * 2}) qm_test::append_u32(p, v);
  // The format chunk body: PCM, mono, 16-bit.
  append_u16(p, 1);
  append_u16(p, 1);
  qm_test::append_u32(p, kToneRate);
  qm_test::append_u32(p, kToneRate * 2);
  append_u16(p, 2);
  append_u16(p, 16);
  append_u16(p, 0);
  for (std::uint32_t i = 0; i < kToneSamples; ++i) {
    const double t = static_cast<double>(i) / kToneRate;
    append_u16(p, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * kToneHz * t)))));
  }
  return p;
}

void write_portal(const std::filesystem::path& path) {
  qm_test::DatBuilder b(1024, 1);
  b.tree_shape(6, 4).scatter(2024);
  b.add(0x06000001, jpeg_texture());
  auto dds = texture_header(0x06000002, 20, 16 * 16 * 4);
  const auto pixels = bytes_of(16 * 16 * 4, 3, false);
  dds.insert(dds.end(), pixels.begin(), pixels.end());
  b.add(0x06000002, dds, true);
  b.add(0x0A000001, tone_sound());
  b.add(0x01000001, bytes_of(1500, 1, false));
  for (std::uint32_t i = 0; i < 8; ++i) b.add(0x01000010 + i, bytes_of(200 + 97 * i, 10 + i, true), i % 2 == 0);
  for (std::uint32_t i = 0; i < 6; ++i) b.add(0x02000001 + i, bytes_of(300 + 31 * i, 20 + i, true), true);
  for (std::uint32_t i = 0; i < 4; ++i) b.add(0x04000001 + i, bytes_of(2048, 30 + i, false));
  for (std::uint32_t i = 0; i < 5; ++i) b.add(0x08000001 + i, bytes_of(64 + i, 40 + i, false));
  for (std::uint32_t i = 0; i < 3; ++i) b.add(0x0D000001 + i, bytes_of(5000, 50 + i, true), true);
  b.add(0x23000001, bytes_of(900, 60, true), true);
  b.add(0x78000000, bytes_of(32, 61, false));
  b.add(0xFFFF0001, bytes_of(8, 62, false));
  add_portal_records(b);
  b.write(path);
}

}  // namespace qm_sample
