#include "quillmere_dat/io_error.hpp"

#include <cstring>

namespace quillmere_dat {

IoError IoError::unexpected_eof() {
  return {IoErrorKind::UnexpectedEof, 0, "failed to fill whole buffer"};
}
IoError IoError::write_zero() { return {IoErrorKind::WriteZero, 0, "failed to write whole buffer"}; }
IoError IoError::from_errno(int err) { return {IoErrorKind::Other, err, std::strerror(err)}; }
IoError IoError::other(std::string message) { return {IoErrorKind::Other, 0, std::move(message)}; }

}  // namespace quillmere_dat
