#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

#include "dat_builder.hpp"

namespace qm_sample {

inline constexpr int kPictureWidth = 64, kPictureHeight = 48;
inline constexpr std::uint32_t kToneRate = 22050, kToneSamples = 5512, kToneHz = 440;

// A texture payload whose image data is a JPEG of a drawn picture.
std::vector<std::uint8_t> jpeg_texture();
// A sound payload: a PCM format chunk and a short tone.
std::vector<std::uint8_t> tone_sound();

// The portal-like sample database.
void write_portal(const std::filesystem::path& path);
// Records added by later parts of the sample (spells, weenies, landblocks).
void add_portal_records(qm_test::DatBuilder& b);
void write_extras(const std::filesystem::path& out);

}  // namespace qm_sample
