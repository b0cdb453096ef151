#pragma once
// A validated resource namespace label in its fixed 32-byte, zero-padded form.
#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "quillmere_dat/error.hpp"

namespace quillmere_dat::archive {

class ResourceNamespace {
 public:
  static constexpr std::size_t kSize = 32;
  using Bytes = std::array<std::uint8_t, kSize>;

  // Validates a text label: not empty, at most 32 bytes, no NUL byte, valid UTF-8.
  static DatResult<ResourceNamespace> create(std::string_view label);
  // Validates the 32-byte form: the label, then only zero bytes.
  static DatResult<ResourceNamespace> from_bytes(const Bytes& bytes);

  std::string_view as_str() const;
  const Bytes& bytes() const { return bytes_; }

  friend bool operator==(const ResourceNamespace&, const ResourceNamespace&) = default;
  friend std::strong_ordering operator<=>(const ResourceNamespace& a, const ResourceNamespace& b) {
    return a.bytes_ <=> b.bytes_;
  }

 private:
  explicit ResourceNamespace(const Bytes& b) : bytes_(b) {}
  Bytes bytes_{};
};

inline constexpr std::string_view kPortalNamespace = "eor/portal";
inline constexpr std::string_view kCellNamespace = "eor/cell";

// The UTF-8 decoder's description of the first fault in `bytes` ("invalid utf-8 sequence of {}
// bytes from index {}" or "incomplete utf-8 byte sequence from index {}"), or nothing when the
// bytes are valid UTF-8.
std::optional<std::string> utf8_error(std::span<const std::uint8_t> bytes);
inline std::optional<std::string> utf8_error(std::string_view text) {
  return utf8_error(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace quillmere_dat::archive

template <>
struct std::hash<quillmere_dat::archive::ResourceNamespace> {
  std::size_t operator()(const quillmere_dat::archive::ResourceNamespace& ns) const noexcept {
    const auto& b = ns.bytes();
    return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
  }
};

// The display form is the label itself.
template <>
struct fmt::formatter<quillmere_dat::archive::ResourceNamespace> : fmt::formatter<std::string_view> {
  template <class Ctx>
  auto format(const quillmere_dat::archive::ResourceNamespace& ns, Ctx& ctx) const {
    return fmt::formatter<std::string_view>::format(ns.as_str(), ctx);
  }
};
