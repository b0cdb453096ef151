#pragma once
// Fuzz inputs as files without touching the disk: an anonymous memory file and its /proc path.
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class MemFile {
 public:
  MemFile(const std::uint8_t* data, std::size_t size, const char* ext) {
    fd_ = memfd_create("fuzz", 0);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = write(fd_, data + done, size - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    // The extension picks the container; the link target keeps the memory file's content.
    path_ = "/tmp/qm-fuzz-" + std::to_string(getpid()) + ext;
    unlink(path_.c_str());
    symlink(("/proc/self/fd/" + std::to_string(fd_)).c_str(), path_.c_str());
  }
  ~MemFile() {
    unlink(path_.c_str());
    close(fd_);
  }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};
