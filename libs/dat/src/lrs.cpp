#include "quillmere_dat/lrs.hpp"

#include <algorithm>
#include <cstring>

namespace quillmere_dat::utils {

std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input) {
  const std::size_t len = input.size();
  if (len == 0) return {};
  if (len < 4) return {input.begin(), input.end()};
  std::uint32_t declared;
  std::memcpy(&declared, input.data(), 4);
  const auto stream = input.subspan(4);
  const std::size_t slen = stream.size();
  if (declared == 0 || slen == 0) return {};

  // A back-reference yields at most 17 bytes from 2 stream bytes, so the stream bounds the output
  // far below a corrupt declared size.
  const std::uint64_t can_yield = 9ull * slen + 17;
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(declared, can_yield)));

  const std::size_t target = declared;
  std::size_t i = 0;
  unsigned mask = 0;
  std::uint8_t flags = 0;
  for (;;) {
    if (mask == 0) {
      flags = stream[i++];
      mask = 0x80;
    }
    if (flags & mask) {
      if (i + 1 >= slen) break;
      const std::uint8_t b0 = stream[i], b1 = stream[i + 1];
      const std::size_t distance = b0 + 256u * (b1 >> 4);
      const std::size_t count = (b1 & 0x0Fu) + 2;
      if (distance == 0) break;
      // Nothing to copy from yet: the stream is corrupt, and decoding ends here.
      if (out.empty()) break;
      i += 2;
      for (std::size_t k = 0; k < count; ++k) {
        if (out.size() >= target) return out;
        const std::size_t n = out.size();
        out.push_back(out[n - std::min(n, distance)]);
      }
    } else {
      if (i >= slen) break;
      out.push_back(stream[i++]);
    }
    if (out.size() >= target) break;
    mask >>= 1;
    if (i >= slen) break;
  }
  return out;
}

}  // namespace quillmere_dat::utils
