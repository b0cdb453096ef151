#include "run_tool.hpp"

#include "run_program.hpp"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qm_test {

std::filesystem::path tool_path() {
  if (const char* env = std::getenv("QM_DAT_TOOL_UNDER_TEST")) return env;
#ifdef QM_DAT_TOOL
  return QM_DAT_TOOL;
#else
  return "dat-tool";
#endif
}

ToolRun run_tool(const std::vector<std::string>& args, const std::filesystem::path& cwd) {
  std::vector<std::string> argv = {std::filesystem::absolute(tool_path()).string()};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_program(argv, {}, cwd);
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "qm-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may have taken write permission away from folders inside.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                                           std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::string changes_after_runs(const std::filesystem::path& file, const std::vector<std::vector<std::string>>& runs,
                               const std::filesystem::path& cwd) {
  const auto before = read_file(file);
  struct stat st_before {};
  ::stat(file.c_str(), &st_before);
  for (const auto& args : runs) run_tool(args, cwd);
  struct stat st_after {};
  ::stat(file.c_str(), &st_after);
  std::string changes;
  if (read_file(file) != before) changes += "bytes changed; ";
  if (st_after.st_mtim.tv_sec != st_before.st_mtim.tv_sec || st_after.st_mtim.tv_nsec != st_before.st_mtim.tv_nsec)
    changes += "modification time changed; ";
  return changes;
}

std::vector<unsigned char> read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace qm_test
