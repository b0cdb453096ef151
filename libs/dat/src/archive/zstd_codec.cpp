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
// Untrusted sizes are not allocated in one go beyond this; larger payloads grow by doubling.
constexpr std::uint64_t kFirstAttempt = 16u << 20;
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
  std::vector<std::uint8_t> out;
  auto run = [&](std::uint64_t capacity) {
    out.resize(static_cast<std::size_t>(capacity));
    return ZSTD_decompressDCtx(dctx.get(), out.data(), out.size(), stored.data(), stored.size());
  };

  const unsigned long long declared = ZSTD_findDecompressedSize(stored.data(), stored.size());
  if (declared == ZSTD_CONTENTSIZE_ERROR) return std::nullopt;
  if (declared != ZSTD_CONTENTSIZE_UNKNOWN) {
    // The frame headers state the length: more than `size` cannot fit, more than the frames can
    // produce is a lie. Less than `size` decompresses and is reported as a mismatch.
    if (declared > size || declared > producible) return std::nullopt;
    const std::size_t got = run(declared);
    if (ZSTD_isError(got)) return std::nullopt;
    out.resize(got);
    return out;
  }

  // Unknown length: at most what the frames' blocks can hold, and never more than `size`.
  const unsigned long long bound = ZSTD_decompressBound(stored.data(), stored.size());
  if (bound == ZSTD_CONTENTSIZE_ERROR) return std::nullopt;
  const std::uint64_t limit = std::min<std::uint64_t>({size, bound, producible});
  std::uint64_t capacity = std::min<std::uint64_t>(limit, std::max<std::uint64_t>(kFirstAttempt, 4 * stored.size()));
  for (;;) {
    const std::size_t got = run(capacity);
    if (!ZSTD_isError(got)) {
      out.resize(got);
      return out;
    }
    if (ZSTD_getErrorCode(got) != ZSTD_error_dstSize_tooSmall || capacity >= limit) return std::nullopt;
    capacity = std::min(limit, capacity * 2);
  }
}

}  // namespace quillmere_dat::archive::detail
