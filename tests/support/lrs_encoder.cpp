#include "lrs_encoder.hpp"

#include <algorithm>
#include <cstring>

namespace qm_test {

std::vector<std::uint8_t> lrs_compress(std::span<const std::uint8_t> in) {
  constexpr std::size_t kWindow = 4095, kMaxLen = 17, kMinLen = 2, kTries = 32;
  std::vector<std::uint8_t> out(4);
  const auto size = static_cast<std::uint32_t>(in.size());
  std::memcpy(out.data(), &size, 4);
  if (in.empty()) return out;

  constexpr std::size_t kHashSize = 1 << 16;
  std::vector<std::int64_t> head(kHashSize, -1), prev(in.size(), -1);
  auto hash = [&](std::size_t p) {
    return ((in[p] << 8) ^ (p + 1 < in.size() ? in[p + 1] * 131u : 0u)) & (kHashSize - 1);
  };
  auto insert = [&](std::size_t p) {
    if (p + 1 >= in.size()) return;
    const auto h = hash(p);
    prev[p] = head[h];
    head[h] = static_cast<std::int64_t>(p);
  };

  std::size_t flag_at = 0;
  unsigned mask = 0;
  std::size_t p = 0;
  while (p < in.size()) {
    if (mask == 0) {
      flag_at = out.size();
      out.push_back(0);
      mask = 0x80;
    }
    std::size_t best_len = 0, best_dist = 0;
    if (p + kMinLen <= in.size()) {
      std::size_t tries = 0;
      for (std::int64_t cand = head[hash(p)]; cand >= 0 && tries < kTries; cand = prev[static_cast<std::size_t>(cand)], ++tries) {
        const auto c = static_cast<std::size_t>(cand);
        if (p - c > kWindow) break;
        std::size_t len = 0;
        const std::size_t limit = std::min(kMaxLen, in.size() - p);
        while (len < limit && in[c + len] == in[p + len]) ++len;
        if (len > best_len) {
          best_len = len;
          best_dist = p - c;
          if (len == kMaxLen) break;
        }
      }
    }
    if (best_len >= kMinLen) {
      out[flag_at] = static_cast<std::uint8_t>(out[flag_at] | mask);
      out.push_back(static_cast<std::uint8_t>(best_dist & 0xFF));
      out.push_back(static_cast<std::uint8_t>(((best_dist >> 8) << 4) | (best_len - 2)));
      for (std::size_t k = 0; k < best_len; ++k) insert(p + k);
      p += best_len;
    } else {
      out.push_back(in[p]);
      insert(p);
      ++p;
    }
    mask >>= 1;
  }
  return out;
}

}  // namespace qm_test
