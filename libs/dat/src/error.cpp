#include "quillmere_dat/error.hpp"

#include <fmt/format.h>

namespace quillmere_dat {

DatError DatError::io(IoError err) {
  DatError e(Kind::Io);
  e.io_ = std::move(err);
  return e;
}
DatError DatError::bin_read(ReadError err) {
  DatError e(Kind::BinRead);
  e.read_ = std::move(err);
  return e;
}
DatError DatError::not_found(std::uint32_t file_id) {
  DatError e(Kind::NotFound);
  e.value_ = file_id;
  return e;
}
DatError DatError::duplicate_id(std::uint32_t file_id) {
  DatError e(Kind::DuplicateId);
  e.value_ = file_id;
  return e;
}
DatError DatError::duplicate_namespaced_id(std::string ns, std::uint32_t file_id) {
  DatError e(Kind::DuplicateNamespacedId);
  e.text_ = std::move(ns);
  e.value_ = file_id;
  return e;
}
DatError DatError::invalid_magic(std::string format) {
  DatError e(Kind::InvalidMagic);
  e.text_ = std::move(format);
  return e;
}
DatError DatError::unsupported_version(std::uint32_t version) {
  DatError e(Kind::UnsupportedVersion);
  e.value_ = version;
  return e;
}
DatError DatError::invalid_namespace(std::string message) {
  DatError e(Kind::InvalidNamespace);
  e.text_ = std::move(message);
  return e;
}
DatError DatError::corruption(std::string message) {
  DatError e(Kind::Corruption);
  e.text_ = std::move(message);
  return e;
}
DatError DatError::decompression_failed(std::uint32_t file_id) {
  DatError e(Kind::DecompressionFailed);
  e.value_ = file_id;
  return e;
}
DatError DatError::path_error(std::filesystem::path path, IoError source) {
  DatError e(Kind::PathError);
  e.path_ = std::move(path);
  e.io_ = std::move(source);
  return e;
}
DatError DatError::other(std::string message) {
  DatError e(Kind::Other);
  e.text_ = std::move(message);
  return e;
}

std::string DatError::message() const {
  switch (kind_) {
    case Kind::Io: return fmt::format("IO error: {}", io_.message);
    case Kind::BinRead: return fmt::format("Binary read error: {}", read_.message());
    case Kind::NotFound: return fmt::format("File ID {:08X} not found in provider", value_);
    case Kind::DuplicateId: return fmt::format("Duplicate File ID {:08X} detected", value_);
    case Kind::DuplicateNamespacedId:
      return fmt::format("Duplicate namespaced file {}:{:08X} detected", text_, value_);
    case Kind::InvalidMagic: return fmt::format("Invalid magic for format: {}", text_);
    case Kind::UnsupportedVersion: return fmt::format("Unsupported version: {}", value_);
    case Kind::InvalidNamespace: return fmt::format("Invalid namespace: {}", text_);
    case Kind::Corruption: return fmt::format("Corruption detected: {}", text_);
    case Kind::DecompressionFailed: return fmt::format("Failed to recover compressed file {:08X}", value_);
    case Kind::PathError: return fmt::format("Failed to open file at {}: {}", path_.string(), io_.message);
    case Kind::Other: return fmt::format("Other error: {}", text_);
  }
  return {};
}

std::vector<std::string> DatError::causes() const {
  switch (kind_) {
    case Kind::Io:
    case Kind::PathError: return {io_.message};
    case Kind::BinRead: return {read_.message()};
    default: return {};
  }
}

}  // namespace quillmere_dat
