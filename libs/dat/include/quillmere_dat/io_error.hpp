#pragma once
// An operating-system or stream error, kept as a value so it can travel inside other errors.
#include <string>

namespace quillmere_dat {

enum class IoErrorKind { UnexpectedEof, WriteZero, Other };

struct IoError {
  IoErrorKind kind = IoErrorKind::Other;
  int os_errno = 0;  // 0 when the error did not come from the operating system
  std::string message;

  static IoError unexpected_eof();  // "failed to fill whole buffer"
  static IoError write_zero();      // "failed to write whole buffer"
  static IoError from_errno(int err);
  static IoError other(std::string message);

  friend bool operator==(const IoError&, const IoError&) = default;
};

}  // namespace quillmere_dat
