#pragma once
// A one-line progress display on standard error for the commands that walk a whole container.
// It is shown only when standard error is a terminal, so redirected output and the tests that
// compare it stay exact.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace dat_tool {

// "{label}: {done}/{total} entries, {bytes}, {rate}/s", without "/{total}" when the total is not
// known and without the rate before any time has passed.
std::string format_progress(std::string_view label, std::uint64_t done, std::optional<std::uint64_t> total,
                            std::uint64_t bytes, double seconds);
// 0 B, 1023 B, 1.0 KiB, 12.5 MiB, ...
std::string format_bytes(double bytes);

class Progress {
 public:
  // Draws the first line at once, so even a short run shows that it started.
  Progress(std::string label, std::optional<std::uint64_t> total);
  // For tests and embedders: `enabled` replaces the terminal test, `sink` standard error.
  Progress(std::string label, std::optional<std::uint64_t> total, bool enabled, std::FILE* sink);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { finish(); }

  // One entry done, `bytes` long. Looks at the clock only every few entries or megabytes.
  void advance(std::uint64_t bytes);
  // Replaces the counters by a fixed text (a phase the counters do not describe).
  void status(std::string_view text);
  // Erases the line; nothing is drawn afterwards.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::uint32_t kCheckEvery = 32;
  static constexpr std::uint64_t kCheckBytes = 8u << 20;
  static constexpr Clock::duration kInterval = std::chrono::milliseconds(250);

  void draw(std::string_view line);
  void redraw();

  std::string label_;
  std::optional<std::uint64_t> total_;
  std::FILE* sink_;
  bool enabled_ = false;
  bool shown_ = false;
  std::uint64_t done_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint32_t entries_since_check_ = 0;
  std::uint64_t bytes_since_check_ = 0;
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

}  // namespace dat_tool
