#include "quillmere_dat/text.hpp"

#include <algorithm>
#include <array>
#include <vector>

// Stored text follows the WHATWG Encoding Standard's decoders (windows-1252, UTF-8,
// UTF-16LE/BE) in replacement mode, chosen by a leading byte-order mark that is dropped.

namespace quillmere_dat::utils {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The WHATWG index for windows-1252, bytes 0x80 to 0x9F; the five bytes the Microsoft
// table leaves unassigned map to the C1 control of the same value.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

void decode_windows1252(std::span<const std::uint8_t> bytes, std::string& out) {
  for (std::uint8_t b : bytes) {
    if (b >= 0x80 && b <= 0x9F)
      append_utf8(out, kWindows1252High[b - 0x80]);
    else
      append_utf8(out, b);  // ASCII and Latin-1 identity
  }
}

// WHATWG "UTF-8 decoder" with error mode replacement.
void decode_utf8(std::span<const std::uint8_t> bytes, std::string& out) {
  char32_t code_point = 0;
  int bytes_seen = 0, bytes_needed = 0;
  std::uint8_t lower = 0x80, upper = 0xBF;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint8_t b = bytes[i];
    if (bytes_needed == 0) {
      ++i;
      if (b <= 0x7F) {
        out.push_back(static_cast<char>(b));
      } else if (b >= 0xC2 && b <= 0xDF) {
        bytes_needed = 1;
        code_point = b & 0x1F;
      } else if (b >= 0xE0 && b <= 0xEF) {
        if (b == 0xE0) lower = 0xA0;
        if (b == 0xED) upper = 0x9F;
        bytes_needed = 2;
        code_point = b & 0x0F;
      } else if (b >= 0xF0 && b <= 0xF4) {
        if (b == 0xF0) lower = 0x90;
        if (b == 0xF4) upper = 0x8F;
        bytes_needed = 3;
        code_point = b & 0x07;
      } else {
        append_utf8(out, kReplacement);
      }
      continue;
    }
    if (b < lower || b > upper) {
      // The sequence is cut short: one replacement, and the byte is processed again.
      code_point = 0;
      bytes_needed = bytes_seen = 0;
      lower = 0x80;
      upper = 0xBF;
      append_utf8(out, kReplacement);
      continue;
    }
    ++i;
    lower = 0x80;
    upper = 0xBF;
    code_point = (code_point << 6) | (b & 0x3F);
    if (++bytes_seen == bytes_needed) {
      append_utf8(out, code_point);
      code_point = 0;
      bytes_needed = bytes_seen = 0;
    }
  }
  if (bytes_needed != 0) append_utf8(out, kReplacement);
}

// WHATWG "shared UTF-16 decoder" with error mode replacement.
void decode_utf16(std::span<const std::uint8_t> bytes, bool big_endian, std::string& out) {
  const std::size_t units = bytes.size() / 2;
  bool have_lead = false;
  char16_t lead = 0;
  std::size_t i = 0;
  while (i < units) {
    const std::uint8_t b0 = bytes[2 * i], b1 = bytes[2 * i + 1];
    const auto unit = static_cast<char16_t>(big_endian ? (b0 << 8) | b1 : (b1 << 8) | b0);
    if (have_lead) {
      have_lead = false;
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        append_utf8(out, 0x10000 + ((static_cast<char32_t>(lead) - 0xD800) << 10) + (unit - 0xDC00));
        ++i;
      } else {
        // The unpaired lead is replaced; the unit is processed again.
        append_utf8(out, kReplacement);
      }
      continue;
    }
    ++i;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      have_lead = true;
      lead = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, unit);
    }
  }
  // An odd trailing byte or a lead surrogate at the end: one replacement for both.
  if (have_lead || bytes.size() % 2 != 0) append_utf8(out, kReplacement);
}

// A body of `n` bytes after its length prefix: short data moves the cursor to the end.
ReadResult<std::span<const std::uint8_t>> read_body(ByteCursor& cursor, std::uint64_t n) {
  if (cursor.remaining() < n) {
    cursor.set_position(std::max<std::uint64_t>(cursor.position(), cursor.data().size()));
    return std::unexpected(ReadError::unexpected_eof());
  }
  return cursor.read_bytes(n);
}

}  // namespace

std::string decode_stored_text(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    decode_utf8(bytes.subspan(3), out);
  } else if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    decode_utf16(bytes.subspan(2), false, out);
  } else if (n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    decode_utf16(bytes.subspan(2), true, out);
  } else {
    decode_windows1252(bytes, out);
  }
  return out;
}

ReadResult<std::string> read_pstring(ByteCursor& cursor, unsigned length_size) {
  std::uint64_t n = 0;
  switch (length_size) {
    case 1: {
      QM_TRY(n, cursor.read_u8());
      break;
    }
    case 2: {
      QM_TRY(n, cursor.read_u16());
      break;
    }
    case 4: {
      QM_TRY(n, cursor.read_u32());
      break;
    }
    default:
      return std::unexpected(ReadError::assertion("Unsupported PString length size", cursor.position()));
  }
  if (n == 0) return std::string{};
  QM_TRY(auto body, read_body(cursor, n));
  return decode_stored_text(body);
}

ReadResult<std::string> read_obfuscated_string(ByteCursor& cursor) {
  QM_TRY(const std::uint16_t n, cursor.read_u16());
  if (n == 0) return std::string{};
  QM_TRY(auto body, read_body(cursor, n));
  std::vector<std::uint8_t> plain(body.begin(), body.end());
  for (auto& b : plain) b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
  return decode_stored_text(plain);
}

}  // namespace quillmere_dat::utils
