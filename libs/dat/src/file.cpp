#include "quillmere_dat/file.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere_dat::utils {

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

std::expected<File, IoError> File::open_read(const std::filesystem::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::unexpected(IoError::from_errno(errno));
  return File(fd);
}

std::expected<std::uint64_t, IoError> len_compat(const File& file) {
  struct stat st {};
  if (::fstat(file.fd(), &st) != 0) return std::unexpected(IoError::from_errno(errno));
  return static_cast<std::uint64_t>(st.st_size);
}

std::expected<void, IoError> read_exact_at_compat(const File& file, std::span<std::uint8_t> buf,
                                                  std::uint64_t offset) {
  while (!buf.empty()) {
    // An offset past what off_t holds cannot be read: it is beyond every file.
    if (offset > static_cast<std::uint64_t>(LLONG_MAX)) return std::unexpected(IoError::unexpected_eof());
    const std::size_t want = std::min<std::size_t>(buf.size(), 1u << 30);
    const ssize_t got = ::pread(file.fd(), buf.data(), want, static_cast<off_t>(offset));
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(IoError::from_errno(errno));
    }
    if (got == 0) return std::unexpected(IoError::unexpected_eof());
    buf = buf.subspan(static_cast<std::size_t>(got));
    offset += static_cast<std::uint64_t>(got);
  }
  return {};
}

std::expected<void, IoError> write_all(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(IoError::from_errno(errno));
    }
    if (n == 0) return std::unexpected(IoError::write_zero());
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return {};
}

}  // namespace quillmere_dat::utils
