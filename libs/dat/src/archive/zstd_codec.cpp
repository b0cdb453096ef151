#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_findDecompressedSize, ZSTD_decompressBound
#include "zstd_codec.hpp"

#include <algorithm>
#include <memory>
#include <utility>

#include <zstd.h>
#include <zstd_errors.h>

namespace quillmere_dat::archive::detail {

namespace {

constexpr int kCompressionLevel = 3;
// The smallest first buffer; beyond it the first buffer is 8 times the stored bytes.
constexpr std::uint64_t kFirstAttempt = 1u << 20;
// No zstd block yields more than 128 KiB and none takes fewer than 4 bytes, so a frame of n
// bytes never decompresses to 32768 x n bytes or more.
constexpr std::uint64_t kMaxExpansion = 32768;

struct DctxFree {
  void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

}  // namespace

Compressor::Compressor() {
  cctx_ = ZSTD_createCCtx();
  if (!cctx_) {
    init_error_ = "cannot allocate a compression context";
    return;
  }
  for (std::size_t r : {ZSTD_CCtx_setParameter(cctx_, ZSTD_c_compressionLevel, kCompressionLevel),
                        ZSTD_CCtx_loadDictionary(cctx_, nullptr, 0)}) {
    if (ZSTD_isError(r)) {
      init_error_ = ZSTD_getErrorName(r);
      ZSTD_freeCCtx(cctx_);
      cctx_ = nullptr;
      return;
    }
  }
}

Compressor::~Compressor() { ZSTD_freeCCtx(cctx_); }

Compressor::Compressor(Compressor&& other) noexcept
    : cctx_(std::exchange(other.cctx_, nullptr)), init_error_(std::move(other.init_error_)) {}

Compressor::Outcome Compressor::compress(std::span<const std::uint8_t> payload) {
  if (!cctx_) return Failed{init_error_};
  // A frame is never empty, so an empty payload cannot get shorter.
  if (payload.empty()) return NotShorter{};
  if (std::size_t r = ZSTD_CCtx_reset(cctx_, ZSTD_reset_session_only); ZSTD_isError(r))
    return Failed{ZSTD_getErrorName(r)};

  const std::size_t limit = payload.size() - 1;  // the longest frame still worth storing
  std::vector<std::uint8_t> out(std::min(limit, std::max<std::size_t>(ZSTD_CStreamOutSize(), payload.size() / 8)));
  ZSTD_outBuffer ob{out.data(), out.size(), 0};
  // Room for more output, or false once the frame would reach the payload's length.
  auto room = [&] {
    if (ob.pos < ob.size) return true;
    if (out.size() >= limit) return false;
    out.resize(std::min(limit, out.size() * 2));
    ob.dst = out.data();
    ob.size = out.size();
    return true;
  };

  ZSTD_inBuffer in{payload.data(), payload.size(), 0};
  while (in.pos < in.size) {
    if (!room()) return NotShorter{};
    const std::size_t r = ZSTD_compressStream(cctx_, &ob, &in);
    if (ZSTD_isError(r)) return Failed{ZSTD_getErrorName(r)};
  }
  for (;;) {
    if (!room()) return NotShorter{};
    const std::size_t left = ZSTD_endStream(cctx_, &ob);
    if (ZSTD_isError(left)) return Failed{ZSTD_getErrorName(left)};
    if (left == 0) break;
  }
  out.resize(ob.pos);
  return Shorter{std::move(out)};
}

std::optional<std::vector<std::uint8_t>> decompress_bounded(std::span<const std::uint8_t> stored,
                                                            std::uint32_t size) {
  std::unique_ptr<ZSTD_DCtx, DctxFree> dctx(ZSTD_createDCtx());
  if (!dctx) return std::nullopt;
  if (ZSTD_isError(ZSTD_DCtx_loadDictionary(dctx.get(), nullptr, 0))) return std::nullopt;

  const std::uint64_t producible =
      stored.size() > UINT64_MAX / kMaxExpansion ? UINT64_MAX : stored.size() * kMaxExpansion;
  std::uint64_t limit = std::min<std::uint64_t>(size, producible);
  const unsigned long long declared = ZSTD_findDecompressedSize(stored.data(), stored.size());
  if (declared == ZSTD_CONTENTSIZE_ERROR) return std::nullopt;
  if (declared != ZSTD_CONTENTSIZE_UNKNOWN) {
    // The frame headers state the length: more than `size` cannot fit, more than the frames can
    // produce is a lie. Less than `size` decompresses and is reported as a mismatch.
    if (declared > size || declared > producible) return std::nullopt;
    limit = declared;
  } else {
    const unsigned long long bound = ZSTD_decompressBound(stored.data(), stored.size());
    if (bound == ZSTD_CONTENTSIZE_ERROR) return std::nullopt;
    limit = std::min<std::uint64_t>(limit, bound);
  }

  // One streaming pass into a buffer that starts at what the stored bytes plausibly expand to
  // and doubles only as output really arrives, so a frame that lies about its length never
  // gets its claimed buffer.
  std::vector<std::uint8_t> out(static_cast<std::size_t>(
      std::min<std::uint64_t>(limit, std::max<std::uint64_t>(kFirstAttempt, 8 * stored.size()))));
  ZSTD_inBuffer in{stored.data(), stored.size(), 0};
  ZSTD_outBuffer ob{out.data(), out.size(), 0};
  // What zstd still has to do for the current frame, 0 at a frame's end; no bytes are no frames.
  std::size_t pending = stored.empty() ? 0 : 1;
  while (in.pos < in.size || pending != 0) {
    if (ob.pos == ob.size) {
      if (out.size() >= limit) {
        // Full at the limit: anything more is too much. A frame that also ended here is fine.
        if (pending == 0 && in.pos == in.size) break;
        std::uint8_t probe;
        ZSTD_outBuffer one{&probe, 1, 0};
        const std::size_t r = ZSTD_decompressStream(dctx.get(), &one, &in);
        if (ZSTD_isError(r) || one.pos != 0) return std::nullopt;
        pending = r;
        if (pending == 0 && in.pos == in.size) break;
        if (in.pos == in.size) return std::nullopt;
        continue;
      }
      out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit, 2 * out.size())));
      ob.dst = out.data();
      ob.size = out.size();
    }
    const std::size_t before_in = in.pos, before_out = ob.pos;
    pending = ZSTD_decompressStream(dctx.get(), &ob, &in);
    if (ZSTD_isError(pending)) return std::nullopt;
    // No progress with input left and room to write: the data is cut short.
    if (in.pos == before_in && ob.pos == before_out && ob.pos < ob.size) return std::nullopt;
  }
  out.resize(ob.pos);
  return out;
}

StreamOutcome decompress_to(std::span<const std::uint8_t> stored, std::uint32_t size,
                            const std::function<bool(std::span<const std::uint8_t>)>& sink) {
  StreamOutcome outcome;
  std::unique_ptr<ZSTD_DCtx, DctxFree> dctx(ZSTD_createDCtx());
  if (!dctx || ZSTD_isError(ZSTD_DCtx_loadDictionary(dctx.get(), nullptr, 0))) return outcome;
  std::vector<std::uint8_t> chunk(ZSTD_DStreamOutSize());
  ZSTD_inBuffer in{stored.data(), stored.size(), 0};
  std::size_t pending = stored.empty() ? 0 : 1;
  while (in.pos < in.size || pending != 0) {
    ZSTD_outBuffer ob{chunk.data(), chunk.size(), 0};
    const std::size_t before_in = in.pos;
    pending = ZSTD_decompressStream(dctx.get(), &ob, &in);
    if (ZSTD_isError(pending)) return outcome;
    if (ob.pos == 0 && in.pos == before_in) return outcome;  // cut short
    if (ob.pos > size - std::min<std::uint64_t>(size, outcome.produced)) return outcome;  // more than `size`
    outcome.produced += ob.pos;
    if (ob.pos && !sink(std::span(chunk.data(), ob.pos))) {
      outcome.sink_refused = true;
      return outcome;
    }
  }
  outcome.ok = true;
  return outcome;
}

}  // namespace quillmere_dat::archive::detail
