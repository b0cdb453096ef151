#include <fmt/format.h>

#include "commands.hpp"
#include "provider.hpp"
#include "quillmere_dat/weenie.hpp"

namespace dat_tool {

using quillmere_dat::weenie::Weenie;

// Only opening the provider and parsing the ID fail the command: a missing or undecodable
// record is reported as one line, and the run still succeeds.
Result<void> run_weenie(const WeenieArgs& args, std::FILE* out) {
  auto provider = Provider::open(args.path);
  if (!provider) return std::unexpected(std::move(provider).error());
  auto id = parse_id_auto(args.id);
  if (!id) return std::unexpected(std::move(id).error());

  const Namespace ns = args.ns ? Namespace(*args.ns) : std::nullopt;
  auto payload = provider->get_file_in_namespace(ns, *id);
  auto weenie = payload ? Weenie::unpack(*payload) : std::unexpected(std::move(payload).error());
  if (!weenie) {
    fmt::print(out, "Could not decode a Weenie record from ID {:08X}.\n", *id);
    return {};
  }

  const auto& props = weenie->properties;
  fmt::print(out, "File ID:         {:08X}\n", *id);
  fmt::print(out, "Weenie Class ID: {:08X}\n", weenie->class_id);
  fmt::print(out, "Weenie Type:     {}\n", weenie->weenie_type);
  if (auto name = weenie->name()) fmt::print(out, "Name:            {}\n", *name);
  if (auto icon = weenie->icon_id()) fmt::print(out, "Icon ID:         {:08X}\n", *icon);
  fmt::print(out, "Properties (Int):    {}\n", props.ints.size());
  fmt::print(out, "Properties (Float):  {}\n", props.floats.size());
  fmt::print(out, "Properties (String): {}\n", props.strings.size());
  fmt::print(out, "Properties (DID):    {}\n", props.data_ids.size());
  return {};
}

}  // namespace dat_tool
