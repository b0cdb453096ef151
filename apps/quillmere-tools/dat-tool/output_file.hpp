#pragma once
// Files the tool writes appear whole or not at all: the bytes go to a temporary file in the
// target's folder, which replaces the target only once everything was written.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string_view>

#include "quillmere_dat/io_error.hpp"

namespace dat_tool {

class PendingFile {
 public:
  // Creates the temporary file beside `target` (mode 0666 before the umask, like a plain create).
  static std::expected<PendingFile, quillmere_dat::IoError> create(const std::filesystem::path& target);
  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&&) = delete;
  ~PendingFile();  // removes the temporary file unless committed

  const std::filesystem::path& temp_path() const { return temp_; }
  std::expected<void, quillmere_dat::IoError> write(std::span<const std::uint8_t> bytes);
  // Flushes, closes and renames the temporary file over the target.
  std::expected<void, quillmere_dat::IoError> commit();

 private:
  PendingFile(std::filesystem::path target, std::filesystem::path temp, int fd)
      : target_(std::move(target)), temp_(std::move(temp)), fd_(fd) {}
  std::filesystem::path target_;
  std::filesystem::path temp_;
  int fd_ = -1;
  bool committed_ = false;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the pending temporary file before the process ends.
void remove_pending_file_on_signals();

// The whole of `bytes` at `target`, or an error and no file change.
std::expected<void, quillmere_dat::IoError> write_file_whole(const std::filesystem::path& target,
                                                             std::span<const std::uint8_t> bytes);
inline std::expected<void, quillmere_dat::IoError> write_file_whole(const std::filesystem::path& target,
                                                                    std::string_view text) {
  return write_file_whole(
      target, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace dat_tool
