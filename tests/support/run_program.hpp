#pragma once
// Runs another program (python3, zstd, ...) found on PATH, feeding it standard input.
#include <string>
#include <vector>

#include "run_tool.hpp"

namespace qm_test {

// argv[0] is looked up on PATH. A program that cannot be started gives status 127.
// `cwd`, when given, is the child's working folder.
ToolRun run_program(const std::vector<std::string>& argv, const std::string& input = {},
                    const std::filesystem::path& cwd = {});
// Whether `name` can be found on PATH.
bool have_program(const std::string& name);

}  // namespace qm_test
