#pragma once
// A bounds-checked, read-only cursor over one in-memory payload. A failed read leaves the
// position where it was; positions count from the payload's first byte.
#include <bit>
#include <cstdint>
#include <cstring>
#include <expected>
#include <span>

#include "quillmere_dat/read_error.hpp"

namespace quillmere_dat {

template <class T>
using ReadResult = std::expected<T, ReadError>;

class ByteCursor {
 public:
  explicit ByteCursor(std::span<const std::uint8_t> data, std::uint64_t pos = 0)
      : data_(data), pos_(pos) {}

  std::uint64_t position() const { return pos_; }
  void set_position(std::uint64_t pos) { pos_ = pos; }
  std::span<const std::uint8_t> data() const { return data_; }
  std::uint64_t remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
  std::span<const std::uint8_t> rest() const {
    return pos_ < data_.size() ? data_.subspan(static_cast<std::size_t>(pos_))
                               : std::span<const std::uint8_t>{};
  }

  // Fixed-width read of n bytes: "failed to fill whole buffer" when fewer remain.
  ReadResult<std::span<const std::uint8_t>> read_bytes(std::uint64_t n) {
    if (remaining() < n) return std::unexpected(ReadError::unexpected_eof());
    auto out = data_.subspan(static_cast<std::size_t>(pos_), static_cast<std::size_t>(n));
    pos_ += n;
    return out;
  }

  ReadResult<std::uint8_t> read_u8() { return read_le<std::uint8_t>(); }
  ReadResult<std::uint16_t> read_u16() { return read_le<std::uint16_t>(); }
  ReadResult<std::uint32_t> read_u32() { return read_le<std::uint32_t>(); }
  ReadResult<std::uint64_t> read_u64() { return read_le<std::uint64_t>(); }
  ReadResult<std::int32_t> read_i32() { return read_le<std::int32_t>(); }
  ReadResult<std::int64_t> read_i64() { return read_le<std::int64_t>(); }
  ReadResult<float> read_f32() {
    auto v = read_le<std::uint32_t>();
    if (!v) return std::unexpected(std::move(v).error());
    return std::bit_cast<float>(*v);
  }
  ReadResult<double> read_f64() {
    auto v = read_le<std::uint64_t>();
    if (!v) return std::unexpected(std::move(v).error());
    return std::bit_cast<double>(*v);
  }

  // Moves forward without reading; may pass the end (later reads then fail). Fails only when
  // the position would overflow.
  ReadResult<void> skip(std::uint64_t n) {
    if (n > UINT64_MAX - pos_) return std::unexpected(ReadError::bad_seek());
    pos_ += n;
    return {};
  }
  // Moves to the next multiple of `to` (a power of two), counted from the payload start.
  ReadResult<void> align(std::uint64_t to) {
    const std::uint64_t rem = pos_ % to;
    return rem == 0 ? ReadResult<void>{} : skip(to - rem);
  }

 private:
  template <class T>
  ReadResult<T> read_le() {
    if (remaining() < sizeof(T)) return std::unexpected(ReadError::unexpected_eof());
    T v;
    std::memcpy(&v, data_.data() + pos_, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) v = std::byteswap(v);
    pos_ += sizeof(T);
    return v;
  }

  std::span<const std::uint8_t> data_;
  std::uint64_t pos_;
};

// Reads one record: on a field's failure the cursor goes back to where the record began and
// the error gains the frame naming the field and the record.
class RecordScope {
 public:
  RecordScope(ByteCursor& cursor, std::string_view record)
      : cursor_(cursor), start_(cursor.position()), record_(record) {}

  template <class T>
  ReadResult<T> field(std::string_view name, ReadResult<T>&& value,
                      std::source_location loc = std::source_location::current()) {
    if (!value) {
      cursor_.set_position(start_);
      return std::unexpected(std::move(value).error().with_field(name, record_, loc));
    }
    return std::move(value);
  }

  // Frame without an underlying failed read (for errors produced by the record itself).
  ReadError fail(std::string_view name, ReadError err,
                 std::source_location loc = std::source_location::current()) {
    cursor_.set_position(start_);
    return std::move(err).with_field(name, record_, loc);
  }

  std::uint64_t start() const { return start_; }

 private:
  ByteCursor& cursor_;
  std::uint64_t start_;
  std::string_view record_;
};

}  // namespace quillmere_dat

// Unwraps an expected into `lhs`, or returns its error from the enclosing function.
#define QM_CONCAT_INNER(a, b) a##b
#define QM_CONCAT(a, b) QM_CONCAT_INNER(a, b)
#define QM_TRY_IMPL(tmp, lhs, expr)                              \
  auto tmp = (expr);                                             \
  if (!tmp) return std::unexpected(std::move(tmp).error());      \
  lhs = std::move(*tmp)
#define QM_TRY(lhs, expr) QM_TRY_IMPL(QM_CONCAT(qm_try_, __LINE__), lhs, expr)
#define QM_TRY_VOID(expr)                                            \
  do {                                                               \
    auto qm_try_void = (expr);                                       \
    if (!qm_try_void) return std::unexpected(std::move(qm_try_void).error()); \
  } while (0)
