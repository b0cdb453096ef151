#include "quillmere_tools/spell_export.hpp"

#include <fmt/format.h>

#include <system_error>

#include "commands.hpp"
#include "output_file.hpp"
#include "provider.hpp"
#include "quoting.hpp"

namespace dat_tool {

namespace se = quillmere_tools::spell_export;
namespace st = quillmere_dat::file_type::spell_table;

namespace {

// The parser accepted only the listed values; these conversions cannot fail on its output.
Result<se::SpellExportRequest> build_request(const SpellExportArgs& args) {
  se::SpellExportRequest req;
  for (const auto& f : args.fields) {
    auto v = se::parse_spell_field(f);
    if (!v) return std::unexpected(Error::msg(fmt::format("invalid spell field {}", f)));
    req.fields.push_back(*v);
  }
  for (const auto& s : args.schools) {
    auto v = se::parse_spell_school(s);
    if (!v) return std::unexpected(Error::msg(fmt::format("invalid spell school {}", s)));
    req.schools.push_back(*v);
  }
  req.categories = args.categories;
  auto preset = se::parse_spell_preset(args.preset);
  if (!preset) return std::unexpected(Error::msg(fmt::format("invalid field preset {}", args.preset)));
  req.preset = *preset;
  return req;
}

}  // namespace

Result<void> run_spell_export(const SpellExportArgs& args, std::FILE* out) {
  QM_TRY(auto provider, Provider::open(args.path));
  QM_TRY(const auto request, build_request(args));

  se::SpellExportFile file;
  {
    auto payload = provider.get_file_in_namespace(args.ns, st::kSpellTableFileId);
    if (!payload) return std::unexpected(Error::from(payload.error()));
    auto table = st::decode_spell_table(*payload);
    if (!table) return std::unexpected(Error::from(quillmere_dat::DatError::bin_read(std::move(table).error())));
    payload->clear();
    payload->shrink_to_fit();
    file = se::export_spell_table(*table, request);
  }
  std::string document = se::write_document(file);
  document.push_back('\n');

  if (!args.output) {
    std::fwrite(document.data(), 1, document.size(), out);
    return {};
  }
  const std::filesystem::path& target = *args.output;
  if (const auto parent = target.parent_path(); !parent.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec)
      return std::unexpected(Error::from_io(quillmere_dat::IoError::from_errno(ec.value()))
                                 .context(fmt::format("could not create {}", display(parent))));
  }
  if (auto w = write_file_whole(target, document); !w)
    return std::unexpected(Error::from_io(w.error()).context(fmt::format("could not write {}", display(target))));
  fmt::print(out, "wrote {} spells with {} fields to {}\n", file.spells.size(), file.fields.size(), display(target));
  return {};
}

}  // namespace dat_tool
