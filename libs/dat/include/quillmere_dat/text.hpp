#pragma once
// Stored game text: windows-1252 unless a UTF-8 or UTF-16 byte-order mark leads.
#include <cstdint>
#include <span>
#include <string>

#include "quillmere_dat/byte_cursor.hpp"

namespace quillmere_dat::utils {

// Never fails: malformed input becomes U+FFFD.
std::string decode_stored_text(std::span<const std::uint8_t> bytes);

// A string behind a 1, 2 or 4 byte length prefix; no padding is consumed.
ReadResult<std::string> read_pstring(ByteCursor& cursor, unsigned length_size);
// A u16 length, then that many nibble-swapped bytes.
ReadResult<std::string> read_obfuscated_string(ByteCursor& cursor);

}  // namespace quillmere_dat::utils
