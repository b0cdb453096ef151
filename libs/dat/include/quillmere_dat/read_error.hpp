#pragma once
// The error of the binary record readers: a base failure plus the context frames that
// name the field and record being read, innermost first.
#include <cstdint>
#include <memory>
#include <source_location>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quillmere_dat/io_error.hpp"

namespace quillmere_dat {

class ReadError {
 public:
  enum class Kind { Io, NotEnoughBytes, Assert, BadSeek, NoVariantMatch };

  struct Frame {
    std::string message;  // "While parsing field '{}' in {}"
    std::string file;
    std::uint32_t line = 0;
  };
  struct Variant;  // one alternative's failure inside a NoVariantMatch

  static ReadError io(IoError err);
  static ReadError unexpected_eof() { return io(IoError::unexpected_eof()); }
  static ReadError not_enough_bytes();
  static ReadError assertion(std::string message, std::uint64_t pos);
  static ReadError bad_seek();
  static ReadError no_variant_match(std::uint64_t pos, std::vector<Variant> variants);

  Kind kind() const { return kind_; }
  const IoError& io_error() const { return io_; }  // meaningful for Kind::Io
  const std::string& assert_message() const { return text_; }
  std::uint64_t position() const { return pos_; }
  const std::vector<Variant>& variants() const;
  const std::vector<Frame>& frames() const { return frames_; }

  // Adds the frame "While parsing field '{field}' in {record}".
  ReadError&& with_field(std::string_view field, std::string_view record,
                         std::source_location loc) &&;

  std::string base_message() const;  // the failure without frames
  std::string message() const;       // base message, then the frames

 private:
  Kind kind_ = Kind::Io;
  IoError io_;
  std::string text_;
  std::uint64_t pos_ = 0;
  std::shared_ptr<const std::vector<Variant>> variants_;
  std::vector<Frame> frames_;
};

struct ReadError::Variant {
  std::string name;
  ReadError error;
};

}  // namespace quillmere_dat
