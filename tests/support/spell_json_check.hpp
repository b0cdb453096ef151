#pragma once
// Checks spell export documents with Python's json module (tests/py/check_spell_export.py)
// against expectations computed here straight from a spell table, independently of the
// tool's export code.
#include <cstdint>
#include <string>
#include <vector>

#include "quillmere_dat/file_type/spell_table.hpp"

namespace qm_test {

struct ExpectedExport {
  std::vector<std::string> field_keys;        // document keys, in resolved order
  std::vector<std::uint32_t> school_numbers;  // empty: every school
  std::vector<std::uint32_t> categories;      // empty: every category
};

// The expectation lines of check_spell_export.py for this table and selection.
std::string export_expectations(const quillmere_dat::file_type::spell_table::SpellTable& table,
                                 const ExpectedExport& selection);

struct PyCheck {
  bool ran = false;  // false when python3 is not installed
  int status = -1;
  std::string output;  // "ok\n", or the problems found
};

bool have_python3();
// Runs the checker on a document (the text as written, a final line feed allowed).
PyCheck check_spell_document(const std::string& document, const std::string& expectations);
// Runs a script of tests/py with its arguments; returns its exit status (-1 when python3 is
// missing) and what it printed.
PyCheck run_py_script(const std::string& script, const std::vector<std::string>& args);
// Folder of the test sources' Python scripts.
std::string py_script_dir();

}  // namespace qm_test
