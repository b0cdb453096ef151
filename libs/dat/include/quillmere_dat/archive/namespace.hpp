#pragma once
// A validated resource namespace label in its fixed 32-byte, zero-padded form.
#include <array>
#include <compare>
#include <cstdint>
#include <string_view>

#include "quillmere_dat/error.hpp"

namespace quillmere_dat::archive {

class ResourceNamespace {
 public:
  static constexpr std::size_t kSize = 32;
  using Bytes = std::array<std::uint8_t, kSize>;

  static DatResult<ResourceNamespace> create(std::string_view label);  // the spec'd `new`
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

}  // namespace quillmere_dat::archive
