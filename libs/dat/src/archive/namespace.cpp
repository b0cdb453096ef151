#include "quillmere_dat/archive/namespace.hpp"

#include <algorithm>
#include <cstring>

namespace quillmere_dat::archive {

namespace {

enum class Utf8Fault { None, Invalid, Incomplete };

struct Utf8Check {
  Utf8Fault fault = Utf8Fault::None;
  std::size_t index = 0;   // where the bad sequence starts
  std::size_t length = 0;  // bytes of the bad sequence (Invalid only)
};

// Strict UTF-8 validation. A fault's length is that of the longest prefix of a valid sequence
// found at its start (at least 1); a valid prefix cut off by the end of the input is incomplete.
Utf8Check check_utf8(std::span<const std::uint8_t> v) {
  const std::size_t n = v.size();
  std::size_t i = 0;
  while (i < n) {
    const std::uint8_t first = v[i];
    if (first < 0x80) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    auto cont = [&](std::size_t k) { return (v[k] & 0xC0) == 0x80; };
    auto invalid = [&](std::size_t len) { return Utf8Check{Utf8Fault::Invalid, start, len}; };
    const Utf8Check incomplete{Utf8Fault::Incomplete, start, 0};
    std::size_t width = 0;
    if (first >= 0xC2 && first <= 0xDF) width = 2;
    else if (first >= 0xE0 && first <= 0xEF) width = 3;
    else if (first >= 0xF0 && first <= 0xF4) width = 4;
    if (width == 0) return invalid(1);
    if (start + 1 >= n) return incomplete;
    const std::uint8_t second = v[start + 1];
    bool second_ok;
    switch (width) {
      case 2: second_ok = cont(start + 1); break;
      case 3:
        second_ok = (first == 0xE0 && second >= 0xA0 && second <= 0xBF) ||
                    (first >= 0xE1 && first <= 0xEC && cont(start + 1)) ||
                    (first == 0xED && second >= 0x80 && second <= 0x9F) ||
                    (first >= 0xEE && cont(start + 1));
        break;
      default:
        second_ok = (first == 0xF0 && second >= 0x90 && second <= 0xBF) ||
                    (first >= 0xF1 && first <= 0xF3 && cont(start + 1)) ||
                    (first == 0xF4 && second >= 0x80 && second <= 0x8F);
    }
    if (!second_ok) return invalid(1);
    for (std::size_t k = 2; k < width; ++k) {
      if (start + k >= n) return incomplete;
      if (!cont(start + k)) return invalid(k);
    }
    i = start + width;
  }
  return {};
}

}  // namespace

std::optional<std::string> utf8_error(std::span<const std::uint8_t> bytes) {
  const Utf8Check c = check_utf8(bytes);
  switch (c.fault) {
    case Utf8Fault::None: return std::nullopt;
    case Utf8Fault::Invalid: return fmt::format("invalid utf-8 sequence of {} bytes from index {}", c.length, c.index);
    case Utf8Fault::Incomplete: return fmt::format("incomplete utf-8 byte sequence from index {}", c.index);
  }
  return std::nullopt;
}

DatResult<ResourceNamespace> ResourceNamespace::create(std::string_view label) {
  if (label.empty()) return std::unexpected(DatError::invalid_namespace("namespace label cannot be empty"));
  if (label.size() > kSize)
    return std::unexpected(
        DatError::invalid_namespace(fmt::format("namespace label '{}' exceeds {} bytes", label, kSize)));
  if (label.find('\0') != std::string_view::npos)
    return std::unexpected(
        DatError::invalid_namespace(fmt::format("namespace label '{}' contains a NUL byte", label)));
  // Text handed in from outside is not always UTF-8; the label must be, so as_str() is text.
  if (auto fault = utf8_error(label))
    return std::unexpected(DatError::invalid_namespace(fmt::format("namespace label is not valid UTF-8: {}", *fault)));
  Bytes b{};
  std::memcpy(b.data(), label.data(), label.size());
  return ResourceNamespace(b);
}

DatResult<ResourceNamespace> ResourceNamespace::from_bytes(const Bytes& bytes) {
  const auto zero = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  const auto len = static_cast<std::size_t>(zero - bytes.begin());
  if (std::any_of(zero, bytes.end(), [](std::uint8_t b) { return b != 0; }))
    return std::unexpected(
        DatError::invalid_namespace("namespace bytes must be zero-padded without embedded trailing data"));
  if (len == 0) return std::unexpected(DatError::invalid_namespace("namespace label cannot be empty"));
  if (auto fault = utf8_error(std::span(bytes.data(), len)))
    return std::unexpected(DatError::invalid_namespace(fmt::format("namespace bytes are not valid UTF-8: {}", *fault)));
  return ResourceNamespace(bytes);
}

std::string_view ResourceNamespace::as_str() const {
  const auto zero = std::find(bytes_.begin(), bytes_.end(), std::uint8_t{0});
  return {reinterpret_cast<const char*>(bytes_.data()), static_cast<std::size_t>(zero - bytes_.begin())};
}

}  // namespace quillmere_dat::archive
