#pragma once
// The DAT payload compression: a declared size, then flag bytes steering literals and
// 12-bit-distance back-references. Decoding never fails; bad input gives shorter output.
#include <cstdint>
#include <span>
#include <vector>

namespace quillmere_dat::utils {

std::vector<std::uint8_t> decompress_lrs(std::span<const std::uint8_t> input);

}  // namespace quillmere_dat::utils
