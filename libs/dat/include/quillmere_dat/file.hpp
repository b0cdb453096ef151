#pragma once
// A read-only file with exact positional reads that never use or move a shared cursor.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <utility>

#include "quillmere_dat/io_error.hpp"

namespace quillmere_dat::utils {

class File {
 public:
  File() = default;
  explicit File(int fd) : fd_(fd) {}
  File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  static std::expected<File, IoError> open_read(const std::filesystem::path& path);
  int fd() const { return fd_; }
  // Gives up ownership: the caller closes the descriptor (and sees close's error).
  int release() { return std::exchange(fd_, -1); }
  bool is_open() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// The file's length from its metadata.
std::expected<std::uint64_t, IoError> len_compat(const File& file);
// Fills `buf` from `offset`; retries partial and interrupted reads; "failed to fill whole
// buffer" when the file ends first. An empty buffer succeeds at once.
std::expected<void, IoError> read_exact_at_compat(const File& file, std::span<std::uint8_t> buf,
                                                  std::uint64_t offset);

// Writes all of `bytes` to `fd`; retries partial and interrupted writes; "failed to write whole
// buffer" when a write accepts nothing.
std::expected<void, IoError> write_all(int fd, std::span<const std::uint8_t> bytes);

}  // namespace quillmere_dat::utils
