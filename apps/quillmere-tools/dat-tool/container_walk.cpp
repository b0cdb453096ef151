#include "container_walk.hpp"

#include <system_error>

#include <fmt/format.h>

#include "quoting.hpp"

namespace dat_tool {

using quillmere_dat::IoError;
using quillmere_dat::archive::NamespaceSpan;
using quillmere_dat::archive::QmaReader;
using quillmere_dat::archive::ResourceNamespace;

Result<std::vector<NamespaceSpan>> select_spans(const QmaReader& reader, const std::filesystem::path& path,
                                                std::optional<std::string_view> ns) {
  if (!ns) return reader.spans();
  auto label = ResourceNamespace::create(*ns);
  if (!label) return std::unexpected(Error::from(label.error()));
  for (const auto& span : reader.spans())
    if (span.ns == *label) return std::vector<NamespaceSpan>{span};
  return std::unexpected(Error::msg(fmt::format("Namespace {} not found in {}", *ns, quoted(path))));
}

std::string namespace_folder(const ResourceNamespace& ns) {
  std::string name(ns.as_str());
  for (auto& ch : name)
    if (ch == '/' || ch == ':' || ch == '\\') ch = '_';
  if (name == "." || name == "..") name.assign(name.size(), '_');
  return name;
}

std::string entry_file_name(std::uint32_t file_id, std::uint32_t type_id) {
  return fmt::format("{:08X}.{:X}", file_id, type_id);
}

Result<void> make_directories(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec)
    return std::unexpected(
        Error::from_io(IoError::from_errno(ec.value())).context(fmt::format("Failed to create directory {}", quoted(dir))));
  return {};
}

}  // namespace dat_tool
