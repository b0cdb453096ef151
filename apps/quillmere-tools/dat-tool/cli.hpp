#pragma once
// The command line: one variant per subcommand, carrying its argument values.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace dat_tool {

namespace fs = std::filesystem;

struct MetaArgs { fs::path path; };
struct ListArgs { fs::path path; };
struct InfoArgs {
  fs::path path;
  std::string id;
  std::optional<std::string> ns;
};
struct ExportArgs {
  fs::path path;
  std::string id;
  std::optional<std::string> ns;
  std::optional<fs::path> output;
};
struct SpellExportArgs {
  fs::path path;
  std::optional<std::string> ns;
  std::vector<std::string> schools;      // accepted school names, in command-line order
  std::vector<std::uint32_t> categories;
  std::vector<std::string> fields;       // accepted field names, duplicates kept
  std::string preset = "base";
  std::optional<fs::path> output;
};
struct ExtractArgs {
  fs::path path;
  std::string id;
  std::optional<std::string> ns;
  std::optional<fs::path> output;
};
struct WeenieArgs {
  fs::path path;
  std::string id;
  std::optional<std::string> ns;
};
struct WeenieFindArgs {
  fs::path path;
  std::string wcid;
};
struct LandblockArgs {
  fs::path path;
  std::string id;
  std::optional<std::string> ns;
};
struct QmaPackArgs {
  fs::path input;  // a folder of [ID].[TYPE] files, or a .dat/.qma file
  fs::path output;
  bool compress = false;
};
struct UnpackArgs {
  fs::path path;
  fs::path outdir;
  std::optional<std::string> ns;
};
struct VerifyArgs {
  fs::path path;
  std::optional<std::string> ns;
};

using Commands = std::variant<MetaArgs, ListArgs, InfoArgs, ExportArgs, SpellExportArgs, ExtractArgs,
                              WeenieArgs, WeenieFindArgs, LandblockArgs, QmaPackArgs, UnpackArgs, VerifyArgs>;

struct Cli {
  Commands command;
};

// Parsed arguments, or the parser's own output and exit status (help, version, usage error).
struct ParseOutcome {
  std::optional<Cli> cli;
  int exit_code = 0;
  std::string out;  // for standard output (help, version)
  std::string err;  // for standard error (usage errors)
};

ParseOutcome parse_cli(int argc, const char* const* argv);

}  // namespace dat_tool
