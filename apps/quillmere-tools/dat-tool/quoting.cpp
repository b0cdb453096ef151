#include "quoting.hpp"

#include <fmt/format.h>

namespace dat_tool {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not one.
std::size_t utf8_sequence(const std::string& s, std::size_t i, char32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t len;
  char32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::string quoted(const std::filesystem::path& path) {
  const std::string& s = path.native();
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    const std::size_t len = utf8_sequence(s, i, cp);
    if (len == 0) {
      out += fmt::format("\\x{:02x}", static_cast<unsigned char>(s[i]));
      ++i;
      continue;
    }
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case 0: out += "\\0"; break;
      default:
        if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) {
          out += fmt::format("\\u{{{:x}}}", static_cast<std::uint32_t>(cp));
        } else {
          out.append(s, i, len);
        }
    }
    i += len;
  }
  return out + "\"";
}

std::string display(const std::filesystem::path& path) {
  const std::string& s = path.native();
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    const std::size_t len = utf8_sequence(s, i, cp);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(s, i, len);
      i += len;
    }
  }
  return out;
}

}  // namespace dat_tool
