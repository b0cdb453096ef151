#pragma once
// Encodes payloads in the DAT compression, for fixtures: greedy matching, 12-bit distances,
// lengths 2 to 17.
#include <cstdint>
#include <span>
#include <vector>

namespace qm_test {

std::vector<std::uint8_t> lrs_compress(std::span<const std::uint8_t> payload);

}  // namespace qm_test
