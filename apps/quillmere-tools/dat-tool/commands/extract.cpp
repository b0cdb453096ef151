#include <cstring>
#include <fmt/format.h>

#include "commands.hpp"
#include "output_file.hpp"
#include "provider.hpp"
#include "quoting.hpp"

namespace dat_tool {

namespace {

constexpr std::uint32_t kJpegFormat = 500;

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

// A RIFF file: the payload's format chunk body (bytes 12-27) and its samples (from byte 30).
std::vector<std::uint8_t> build_wav(std::span<const std::uint8_t> p) {
  const auto len = static_cast<std::uint32_t>(p.size());
  std::vector<std::uint8_t> wav;
  wav.reserve(p.size() + 14);
  for (char ch : std::string_view("RIFF")) wav.push_back(static_cast<std::uint8_t>(ch));
  put_u32(wav, len + 6);
  for (char ch : std::string_view("WAVEfmt ")) wav.push_back(static_cast<std::uint8_t>(ch));
  put_u32(wav, 16);
  wav.insert(wav.end(), p.begin() + 12, p.begin() + 28);
  for (char ch : std::string_view("data")) wav.push_back(static_cast<std::uint8_t>(ch));
  put_u32(wav, len - 30);
  wav.insert(wav.end(), p.begin() + 30, p.end());
  return wav;
}

Result<void> too_short(std::string_view what, std::uint32_t id, std::size_t len, std::size_t need) {
  return std::unexpected(Error::msg(fmt::format("{} {:08X} is too short to extract: {} bytes, at least {} needed",
                                                what, id, len, need)));
}

}  // namespace

Result<void> run_extract(const ExtractArgs& args, std::FILE* out) {
  QM_TRY(auto provider, Provider::open(args.path));
  QM_TRY(const std::uint32_t id, parse_id_auto(args.id));
  auto fetched = provider.get_file_in_namespace(args.ns, id);
  if (!fetched) return std::unexpected(Error::from(fetched.error()));
  const std::vector<std::uint8_t>& payload = *fetched;

  const auto target = [&](std::string_view ext) {
    return args.output ? *args.output : std::filesystem::path(fmt::format("{:08X}.{}", id, ext));
  };
  const auto write = [&](const std::filesystem::path& path, std::span<const std::uint8_t> bytes) -> Result<void> {
    std::fflush(out);  // a message printed before the write is shown even if the write fails
    if (auto w = write_file_whole(path, bytes); !w) return std::unexpected(Error::from_io(w.error()));
    return {};
  };

  switch (id >> 24) {
    case 0x01:
      fmt::print(out, "Model {:08X} (GraphicsObject) exported as .bin (custom model format)\n", id);
      return write(target("bin"), payload);
    case 0x06: {
      if (payload.size() < 20) return too_short("Texture", id, payload.size(), 20);
      std::uint32_t format;
      std::memcpy(&format, payload.data() + 16, 4);
      if (format == kJpegFormat) {
        if (payload.size() < 24) return too_short("JPEG texture", id, payload.size(), 24);
        const auto path = target("jpg");
        QM_TRY_VOID(write(path, std::span(payload).subspan(24)));
        fmt::print(out, "Extracted JPEG texture {:08X} to {}\n", id, quoted(path));
        return {};
      }
      fmt::print(out, "Texture {:08X} is not a JPEG (Format {}), exporting as .bin\n", id, format);
      return write(target("bin"), payload);
    }
    case 0x0A: {
      if (payload.size() < 30) return too_short("Audio", id, payload.size(), 30);
      const auto path = target("wav");
      QM_TRY_VOID(write(path, build_wav(payload)));
      fmt::print(out, "Extracted WAV audio {:08X} to {}\n", id, quoted(path));
      return {};
    }
    default:
      fmt::print(out, "No extraction specialist for type {:02X}, exporting raw .bin\n", id >> 24);
      return write(target("bin"), payload);
  }
}

}  // namespace dat_tool
