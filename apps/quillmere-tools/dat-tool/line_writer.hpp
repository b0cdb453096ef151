#pragma once
// Formats report lines into a large buffer and hands it to the stream in big writes, so a
// listing of hundreds of thousands of lines costs neither a flush nor a lock per line.
#include <cstdio>
#include <fmt/format.h>

namespace dat_tool {

class LineWriter {
 public:
  explicit LineWriter(std::FILE* out) : out_(out) {}
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;
  ~LineWriter() { flush(); }

  template <class... Args>
  void line(fmt::format_string<Args...> f, Args&&... args) {
    fmt::format_to(fmt::appender(buf_), f, std::forward<Args>(args)...);
    buf_.push_back('\n');
    if (buf_.size() >= kFlushAt) flush();
  }
  void flush() {
    if (buf_.size()) std::fwrite(buf_.data(), 1, buf_.size(), out_);
    buf_.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 16;
  std::FILE* out_;
  fmt::memory_buffer buf_;
};

}  // namespace dat_tool
