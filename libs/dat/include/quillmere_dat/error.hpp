#pragma once
// The error type shared by the DAT reader, the archive code and the record decoders.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "quillmere_dat/io_error.hpp"
#include "quillmere_dat/read_error.hpp"

namespace quillmere_dat {

class DatError {
 public:
  enum class Kind {
    Io,
    BinRead,
    NotFound,
    DuplicateId,
    DuplicateNamespacedId,
    InvalidMagic,
    UnsupportedVersion,
    InvalidNamespace,
    Corruption,
    DecompressionFailed,
    PathError,
    Other,
  };

  static DatError io(IoError err);
  static DatError bin_read(ReadError err);
  static DatError not_found(std::uint32_t file_id);
  static DatError duplicate_id(std::uint32_t file_id);
  static DatError duplicate_namespaced_id(std::string ns, std::uint32_t file_id);
  static DatError invalid_magic(std::string format);
  static DatError unsupported_version(std::uint32_t version);
  static DatError invalid_namespace(std::string message);
  static DatError corruption(std::string message);
  static DatError decompression_failed(std::uint32_t file_id);
  static DatError path_error(std::filesystem::path path, IoError source);
  static DatError other(std::string message);

  Kind kind() const { return kind_; }
  std::uint32_t file_id() const { return value_; }     // NotFound, Duplicate*, DecompressionFailed
  std::uint32_t version() const { return value_; }     // UnsupportedVersion
  const std::string& text() const { return text_; }    // the text payload of the textual variants
  const std::filesystem::path& path() const { return path_; }
  const IoError& io_error() const { return io_; }      // Io, PathError
  const ReadError& read_error() const { return read_; }  // BinRead

  std::string message() const;
  // The wrapped errors, outermost first: one message for Io, BinRead and PathError.
  std::vector<std::string> causes() const;

 private:
  explicit DatError(Kind k) : kind_(k) {}
  Kind kind_;
  std::uint32_t value_ = 0;
  std::string text_;
  std::filesystem::path path_;
  IoError io_;
  ReadError read_;
};

template <class T>
using DatResult = std::expected<T, DatError>;

}  // namespace quillmere_dat
