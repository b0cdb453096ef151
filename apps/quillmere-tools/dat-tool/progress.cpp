#include "progress.hpp"

#include <cstdio>
#include <iterator>
#include <unistd.h>

#include <fmt/format.h>

namespace dat_tool {

namespace {
constexpr std::string_view kClearLine = "\r\x1b[K";
}

std::string format_bytes(double bytes) {
  if (bytes < 1024) return fmt::format("{} B", static_cast<std::uint64_t>(bytes));
  constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
  std::size_t unit = 0;
  bytes /= 1024;
  while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
    bytes /= 1024;
    ++unit;
  }
  return fmt::format("{:.1f} {}", bytes, kUnits[unit]);
}

std::string format_progress(std::string_view label, std::uint64_t done, std::optional<std::uint64_t> total,
                            std::uint64_t bytes, double seconds) {
  std::string line = total ? fmt::format("{}: {}/{} entries, {}", label, done, *total, format_bytes(static_cast<double>(bytes)))
                           : fmt::format("{}: {} entries, {}", label, done, format_bytes(static_cast<double>(bytes)));
  if (seconds > 0) line += fmt::format(", {}/s", format_bytes(static_cast<double>(bytes) / seconds));
  return line;
}

Progress::Progress(std::string label, std::optional<std::uint64_t> total)
    : Progress(std::move(label), total, ::isatty(STDERR_FILENO) == 1, stderr) {}

Progress::Progress(std::string label, std::optional<std::uint64_t> total, bool enabled, std::FILE* sink)
    : label_(std::move(label)),
      total_(total),
      sink_(sink),
      enabled_(enabled),
      start_(Clock::now()),
      last_draw_(start_) {
  if (enabled_) redraw();
}

void Progress::advance(std::uint64_t bytes) {
  ++done_;
  bytes_ += bytes;
  if (!enabled_) return;
  bytes_since_check_ += bytes;
  if (++entries_since_check_ < kCheckEvery && bytes_since_check_ < kCheckBytes) return;
  entries_since_check_ = 0;
  bytes_since_check_ = 0;
  if (Clock::now() - last_draw_ >= kInterval) redraw();
}

void Progress::status(std::string_view text) {
  if (enabled_) draw(fmt::format("{}: {}", label_, text));
}

void Progress::finish() {
  if (shown_) {
    std::fwrite(kClearLine.data(), 1, kClearLine.size(), sink_);
    std::fflush(sink_);
  }
  shown_ = false;
  enabled_ = false;
}

void Progress::redraw() {
  last_draw_ = Clock::now();
  // No rate before the first entry: it would only be noise.
  const double seconds = done_ == 0 ? 0.0 : std::chrono::duration<double>(last_draw_ - start_).count();
  draw(format_progress(label_, done_, total_, bytes_, seconds));
}

void Progress::draw(std::string_view line) {
  // One write per frame keeps the frame whole on the terminal.
  const std::string frame = fmt::format("{}{}", kClearLine, line);
  std::fwrite(frame.data(), 1, frame.size(), sink_);
  std::fflush(sink_);
  shown_ = true;
}

}  // namespace dat_tool
