#include "cli.hpp"

#include <CLI/CLI.hpp>
#include <sstream>

namespace dat_tool {

namespace {

constexpr const char* kPathHelp = "Path to the DAT or QMA file";
constexpr const char* kNamespaceHelp = "Namespace label for multi-namespace QMA archives";

const std::vector<std::string> kSchools = {"war", "life", "item", "creature", "void"};
const std::vector<std::string> kFields = {
    "name",  "description",    "school",   "category", "bitfield", "base-mana", "base-range-constant",
    "base-range-mod", "power", "raw-components", "mana-mod", "formula-version"};
const std::vector<std::string> kPresets = {"base", "minimal"};

// Raw values land here; they become the chosen variant once parsing succeeded.
struct Raw {
  std::string path, id, wcid, ns, output, input, outdir, preset = "base";
  std::vector<std::string> schools, fields;
  std::vector<std::uint32_t> categories;
  bool compress = false;
  std::string help_topic;
};

void add_path(CLI::App* sub, Raw& raw) { sub->add_option("path", raw.path, kPathHelp)->type_name("PATH")->required(); }
void add_id(CLI::App* sub, Raw& raw) { sub->add_option("id", raw.id)->type_name("ID")->required(); }
void add_namespace(CLI::App* sub, Raw& raw) {
  sub->add_option("--namespace", raw.ns, kNamespaceHelp)->type_name("NAMESPACE");
}
void add_output(CLI::App* sub, Raw& raw, const char* help = "") {
  sub->add_option("-o,--output", raw.output, help)->type_name("OUT");
}
// A repeatable option whose every occurrence takes one value, split at commas.
template <class T>
CLI::Option* add_list(CLI::App* sub, const char* name, std::vector<T>& into, const char* help,
                      const char* value_name) {
  return sub->add_option(name, into, help)
      ->type_name(value_name)
      ->delimiter(',')
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
}

}  // namespace

ParseOutcome parse_cli(int argc, const char* const* argv) {
  CLI::App app{"", "quillmere-tools"};
  app.set_version_flag("-V,--version", "quillmere-tools 0.1.0", "Print version");
  app.set_help_flag("-h,--help", "Print help");
  app.require_subcommand(1);
  app.fallthrough(false);
  Raw raw;

  auto* meta = app.add_subcommand("meta", "List meta info about the QMA/DAT file itself");
  add_path(meta, raw);
  auto* list = app.add_subcommand("list", "List all files in the DAT");
  add_path(list, raw);
  auto* info = app.add_subcommand("info", "Get info about a specific file ID");
  add_path(info, raw);
  add_id(info, raw);
  add_namespace(info, raw);
  auto* exp = app.add_subcommand("export", "Export a file to disk");
  add_path(exp, raw);
  add_id(exp, raw);
  add_namespace(exp, raw);
  add_output(exp, raw);
  auto* spell = app.add_subcommand("spell-export", "Export the spell table to JSON");
  add_path(spell, raw);
  add_namespace(spell, raw);
  add_list(spell, "--schools", raw.schools, "Spell schools to include in the export", "SCHOOLS")
      ->check(CLI::IsMember(kSchools));
  add_list(spell, "--categories", raw.categories, "Spell category IDs to include in the export", "CATEGORIES");
  add_list(spell, "--fields", raw.fields, "Spell fields to include in the export", "FIELDS")
      ->check(CLI::IsMember(kFields));
  spell->add_option("--preset", raw.preset, "Field preset to use when no explicit fields are provided")
      ->type_name("PRESET")
      ->check(CLI::IsMember(kPresets))
      ->default_str("base");
  add_output(spell, raw, "Output JSON file; prints to stdout when omitted");
  auto* extract = app.add_subcommand("extract", "Extract a file to its native format if possible");
  add_path(extract, raw);
  add_id(extract, raw);
  add_namespace(extract, raw);
  add_output(extract, raw);
  auto* weenie = app.add_subcommand("weenie", "Inspect a Weenie template");
  add_path(weenie, raw);
  add_id(weenie, raw);
  add_namespace(weenie, raw);
  auto* wfind = app.add_subcommand("weenie-find", "Scan table records for a WCID-based Weenie entry");
  add_path(wfind, raw);
  wfind->add_option("wcid", raw.wcid)->type_name("WCID")->required();
  auto* landblock = app.add_subcommand("landblock", "Inspect a Landblock");
  add_path(landblock, raw);
  add_id(landblock, raw);
  add_namespace(landblock, raw);
  auto* pack = app.add_subcommand("qma-pack", "Pack a directory into an QMA archive");
  pack->add_option("input", raw.input, "Input directory containing files named [ID].[TYPE] (hex)")
      ->type_name("INPUT")
      ->required();
  pack->add_option("output", raw.output, "Output QMA file")->type_name("OUTPUT")->required();
  pack->add_flag("-c,--compress", raw.compress, "Enable compression");
  auto* unpack = app.add_subcommand("unpack", "Write every file of a DAT or QMA file into a directory");
  add_path(unpack, raw);
  unpack->add_option("outdir", raw.outdir, "Directory to write files named [ID].[TYPE] (hex) into; created if missing")
      ->type_name("OUTDIR")
      ->required();
  add_namespace(unpack, raw);
  auto* verify = app.add_subcommand("verify", "Read and check every file of a DAT or QMA file");
  add_path(verify, raw);
  add_namespace(verify, raw);
  auto* help = app.add_subcommand("help", "Print this message or the help of the given subcommand(s)");
  help->add_option("subcommand", raw.help_topic)->type_name("COMMAND");

  for (auto* sub : app.get_subcommands({})) sub->set_help_flag("-h,--help", "Print help");

  ParseOutcome outcome;
  std::ostringstream out, err;
  if (argc <= 1) {
    err << app.help();
    outcome.exit_code = 2;
    outcome.err = err.str();
    return outcome;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    app.exit(e, out, err);
    outcome.out = out.str();
    return outcome;
  } catch (const CLI::CallForAllHelp& e) {
    app.exit(e, out, err);
    outcome.out = out.str();
    return outcome;
  } catch (const CLI::CallForVersion& e) {
    outcome.out = std::string(e.what()) + "\n";
    return outcome;
  } catch (const CLI::ParseError& e) {
    app.exit(e, out, err);
    outcome.exit_code = 2;
    outcome.err = out.str() + err.str();
    return outcome;
  }

  auto opt = [](const std::string& s, const CLI::App* sub, const char* name) -> std::optional<std::string> {
    return sub->count(name) ? std::optional<std::string>(s) : std::nullopt;
  };
  auto opt_path = [&](const CLI::App* sub) -> std::optional<fs::path> {
    return sub->count("--output") ? std::optional<fs::path>(raw.output) : std::nullopt;
  };

  if (help->parsed()) {
    if (raw.help_topic.empty()) {
      outcome.out = app.help();
      return outcome;
    }
    for (auto* sub : app.get_subcommands({})) {
      if (sub->get_name() == raw.help_topic) {
        outcome.out = sub->help();
        return outcome;
      }
    }
    outcome.exit_code = 2;
    outcome.err = "error: unrecognized subcommand '" + raw.help_topic + "'\nRun with --help for more information.\n";
    return outcome;
  }

  Cli cli;
  if (meta->parsed()) cli.command = MetaArgs{raw.path};
  else if (list->parsed()) cli.command = ListArgs{raw.path};
  else if (info->parsed()) cli.command = InfoArgs{raw.path, raw.id, opt(raw.ns, info, "--namespace")};
  else if (exp->parsed()) cli.command = ExportArgs{raw.path, raw.id, opt(raw.ns, exp, "--namespace"), opt_path(exp)};
  else if (spell->parsed())
    cli.command = SpellExportArgs{raw.path,   opt(raw.ns, spell, "--namespace"), raw.schools, raw.categories,
                                  raw.fields, raw.preset, opt_path(spell)};
  else if (extract->parsed())
    cli.command = ExtractArgs{raw.path, raw.id, opt(raw.ns, extract, "--namespace"), opt_path(extract)};
  else if (weenie->parsed()) cli.command = WeenieArgs{raw.path, raw.id, opt(raw.ns, weenie, "--namespace")};
  else if (wfind->parsed()) cli.command = WeenieFindArgs{raw.path, raw.wcid};
  else if (landblock->parsed()) cli.command = LandblockArgs{raw.path, raw.id, opt(raw.ns, landblock, "--namespace")};
  else if (unpack->parsed()) cli.command = UnpackArgs{raw.path, raw.outdir, opt(raw.ns, unpack, "--namespace")};
  else if (verify->parsed()) cli.command = VerifyArgs{raw.path, opt(raw.ns, verify, "--namespace")};
  else cli.command = QmaPackArgs{raw.input, raw.output, raw.compress};
  outcome.cli = std::move(cli);
  return outcome;
}

}  // namespace dat_tool
