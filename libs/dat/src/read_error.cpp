#include "quillmere_dat/read_error.hpp"

#include <fmt/format.h>

namespace quillmere_dat {

ReadError ReadError::io(IoError err) {
  ReadError e;
  e.kind_ = Kind::Io;
  e.io_ = std::move(err);
  return e;
}
ReadError ReadError::not_enough_bytes() {
  ReadError e;
  e.kind_ = Kind::NotEnoughBytes;
  return e;
}
ReadError ReadError::assertion(std::string message, std::uint64_t pos) {
  ReadError e;
  e.kind_ = Kind::Assert;
  e.text_ = std::move(message);
  e.pos_ = pos;
  return e;
}
ReadError ReadError::bad_seek() {
  ReadError e;
  e.kind_ = Kind::BadSeek;
  return e;
}
ReadError ReadError::no_variant_match(std::uint64_t pos, std::vector<Variant> variants) {
  ReadError e;
  e.kind_ = Kind::NoVariantMatch;
  e.pos_ = pos;
  e.variants_ = std::make_shared<const std::vector<Variant>>(std::move(variants));
  return e;
}

const std::vector<ReadError::Variant>& ReadError::variants() const {
  static const std::vector<Variant> none;
  return variants_ ? *variants_ : none;
}

ReadError&& ReadError::with_field(std::string_view field, std::string_view record,
                                  std::source_location loc) && {
  std::string_view file = loc.file_name();
  // Keep the path from the project's top folder on, so messages do not depend on the checkout.
  for (std::string_view top : {"libs/", "apps/"}) {
    if (auto at = file.rfind(top); at != std::string_view::npos) {
      file = file.substr(at);
      break;
    }
  }
  frames_.push_back({fmt::format("While parsing field '{}' in {}", field, record), std::string(file),
                     loc.line()});
  return std::move(*this);
}

std::string ReadError::base_message() const {
  switch (kind_) {
    case Kind::Io: return io_.message;
    case Kind::NotEnoughBytes: return "not enough bytes in reader";
    case Kind::Assert: return fmt::format("{} at 0x{:x}", text_, pos_);
    case Kind::BadSeek: return "invalid seek to a negative or overflowing position";
    case Kind::NoVariantMatch: {
      std::string out = fmt::format("no variant matched at 0x{:x} [", pos_);
      bool first = true;
      for (const auto& v : variants()) {
        out += fmt::format("{}{}: {}", first ? "" : "; ", v.name, v.error.message());
        first = false;
      }
      return out + "]";
    }
  }
  return {};
}

// Frames follow the base failure, innermost first: "failed to fill whole buffer (While parsing
// field 'x' in A at file:line; While parsing field 'y' in B at file:line)".
std::string ReadError::message() const {
  std::string out = base_message();
  if (frames_.empty()) return out;
  out += " (";
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    if (i) out += "; ";
    out += fmt::format("{} at {}:{}", frames_[i].message, frames_[i].file, frames_[i].line);
  }
  return out + ")";
}

}  // namespace quillmere_dat
