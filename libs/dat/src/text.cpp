#include "quillmere_dat/text.hpp"

namespace quillmere_dat::utils {

// Placeholder until the text decoders land.
std::string decode_stored_text(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }
ReadResult<std::string> read_pstring(ByteCursor&, unsigned) { return std::unexpected(ReadError::unexpected_eof()); }
ReadResult<std::string> read_obfuscated_string(ByteCursor&) { return std::unexpected(ReadError::unexpected_eof()); }

}  // namespace quillmere_dat::utils
