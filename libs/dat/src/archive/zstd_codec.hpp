#pragma once
// The archive's use of zstd: one reusable compression context for the writers, and a bounded
// decompression for the reader.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

struct ZSTD_CCtx_s;

namespace quillmere_dat::archive::detail {

// Level 3, no dictionary, one frame per payload. The context is reset before each payload.
class Compressor {
 public:
  Compressor();
  ~Compressor();
  Compressor(Compressor&& other) noexcept;
  Compressor& operator=(Compressor&&) = delete;
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  struct Shorter { std::vector<std::uint8_t> frame; };
  struct NotShorter {};
  struct Failed { std::string reason; };
  using Outcome = std::variant<Shorter, NotShorter, Failed>;

  // The frame when it is strictly shorter than the payload. The output never grows past
  // payload.size() - 1 bytes: compression stops as soon as it cannot win.
  Outcome compress(std::span<const std::uint8_t> payload);

 private:
  ZSTD_CCtx_s* cctx_ = nullptr;
  std::string init_error_;
};

// Decompresses the stored bytes of an entry that claims `size` payload bytes. The result's length
// may differ from `size` (the caller reports that); nullopt when zstd fails or the output would
// exceed `size`. Memory follows what the frame can produce, not what `size` claims.
std::optional<std::vector<std::uint8_t>> decompress_bounded(std::span<const std::uint8_t> stored,
                                                            std::uint32_t size);

// The same decompression handed out in pieces, for payloads written straight to a file: `sink`
// gets each piece in order; it stops at the first piece it refuses (returning false).
struct StreamOutcome {
  bool ok = false;            // false: zstd failed, or the output would exceed `size`
  bool sink_refused = false;  // the sink said stop
  std::uint64_t produced = 0;
};
StreamOutcome decompress_to(std::span<const std::uint8_t> stored, std::uint32_t size,
                            const std::function<bool(std::span<const std::uint8_t>)>& sink);

}  // namespace quillmere_dat::archive::detail
