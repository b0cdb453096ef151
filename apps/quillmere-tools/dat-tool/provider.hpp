#pragma once
// The commands' single source of payloads: a DAT database or a QMA archive.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "error.hpp"
#include "quillmere_dat/archive/reader.hpp"
#include "quillmere_dat/database.hpp"

namespace dat_tool {

using Namespace = std::optional<std::string_view>;

class Provider {
 public:
  // Chooses the container by extension: "dat", "qma", else whichever of the two exists.
  static Result<Provider> open(const std::filesystem::path& path);

  std::string_view kind_label() const { return dat() ? "DAT" : "QMA"; }
  std::uint64_t file_count() const;
  const quillmere_dat::DatDatabase* dat() const { return std::get_if<quillmere_dat::DatDatabase>(&impl_); }
  const quillmere_dat::archive::QmaReader* qma() const {
    return std::get_if<quillmere_dat::archive::QmaReader>(&impl_);
  }

  quillmere_dat::DatResult<std::vector<std::uint8_t>> get_file_in_namespace(Namespace ns, std::uint32_t id) const;
  // A DAT database has no archive entries: it answers with none.
  quillmere_dat::DatResult<std::optional<quillmere_dat::archive::QmaEntry>> get_qma_entry(
      Namespace ns, std::uint32_t id) const;
  // "{:08X}.bin", or "{ns}_{:08X}.bin" for an archive entry whose namespace resolves.
  std::string default_export_name(Namespace ns, std::uint32_t id) const;

 private:
  explicit Provider(quillmere_dat::DatDatabase db) : impl_(std::move(db)) {}
  explicit Provider(quillmere_dat::archive::QmaReader r) : impl_(std::move(r)) {}
  std::variant<quillmere_dat::DatDatabase, quillmere_dat::archive::QmaReader> impl_;
};

// A user-typed file ID: "0x" hexadecimal, else decimal, else hexadecimal without prefix.
Result<std::uint32_t> parse_id_auto(std::string_view text);

}  // namespace dat_tool

namespace dat_tool {
// Hexadecimal digits with an optional leading '+', as qma-pack reads file names.
Result<std::uint32_t> parse_hex_u32(std::string_view text);
}  // namespace dat_tool
