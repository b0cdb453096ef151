#pragma once
// Runs the built dat-tool and captures what it printed and how it ended.
#include <filesystem>
#include <string>
#include <vector>

namespace qm_test {

struct ToolRun {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or 128 + signal number
};

// Runs the executable with `args` in `cwd` (the current folder when empty).
ToolRun run_tool(const std::vector<std::string>& args, const std::filesystem::path& cwd = {});
// Path of the dat-tool under test.
std::filesystem::path tool_path();

// A fresh, empty folder under the system's temporary folder, removed when the value goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Runs each argument list in `cwd` and tells how `file` changed meanwhile (bytes or modification
// time); empty when it did not.
std::string changes_after_runs(const std::filesystem::path& file, const std::vector<std::vector<std::string>>& runs,
                               const std::filesystem::path& cwd);

std::vector<unsigned char> read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);

}  // namespace qm_test
