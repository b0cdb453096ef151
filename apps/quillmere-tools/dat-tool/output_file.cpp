#include "output_file.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>
#include <utility>

#include <fmt/format.h>

#include "quillmere_dat/file.hpp"

namespace dat_tool {

using quillmere_dat::IoError;

namespace {

// The one temporary file being written, for the signal handler; the tool writes one at a time.
char g_pending_path[4096];
volatile std::sig_atomic_t g_pending = 0;

void track(const std::filesystem::path& temp) {
  const auto& s = temp.native();
  if (s.size() >= sizeof g_pending_path) return;
  g_pending = 0;
  std::memcpy(g_pending_path, s.c_str(), s.size() + 1);
  g_pending = 1;
}
void untrack() { g_pending = 0; }

extern "C" void on_fatal_signal(int sig) {
  if (g_pending) ::unlink(g_pending_path);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void remove_pending_file_on_signals() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction sa {};
    sa.sa_handler = on_fatal_signal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(sig, &sa, nullptr);
  }
}

std::expected<PendingFile, IoError> PendingFile::create(const std::filesystem::path& target) {
  // The target must be nameable as a file; a folder there fails as a direct create would.
  if (std::error_code ec; std::filesystem::is_directory(target, ec)) return std::unexpected(IoError::from_errno(EISDIR));
  const auto folder = target.parent_path();
  std::random_device rd;
  for (int attempt = 0; attempt < 16; ++attempt) {
    auto name = fmt::format(".{}.{:08x}.tmp", target.filename().string(), rd());
    auto temp = folder.empty() ? std::filesystem::path(name) : folder / name;
    // Tracked before it exists, so a signal that arrives right after the create still removes it.
    track(temp);
    int fd;
    do {
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) return PendingFile(target, std::move(temp), fd);
    const int err = errno;
    untrack();
    if (err != EEXIST) return std::unexpected(IoError::from_errno(err));
  }
  return std::unexpected(IoError::from_errno(EEXIST));
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      fd_(std::exchange(other.fd_, -1)),
      committed_(std::exchange(other.committed_, true)) {}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) {
    ::unlink(temp_.c_str());
    untrack();
  }
}

std::expected<void, IoError> PendingFile::write(std::span<const std::uint8_t> bytes) {
  return quillmere_dat::utils::write_all(fd_, bytes);
}

std::expected<void, IoError> PendingFile::commit() {
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) return std::unexpected(IoError::from_errno(errno));
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return std::unexpected(IoError::from_errno(errno));
  committed_ = true;
  untrack();
  return {};
}

std::expected<void, IoError> write_file_whole(const std::filesystem::path& target,
                                              std::span<const std::uint8_t> bytes) {
  auto file = PendingFile::create(target);
  if (!file) return std::unexpected(file.error());
  if (auto w = file->write(bytes); !w) return w;
  return file->commit();
}

}  // namespace dat_tool
