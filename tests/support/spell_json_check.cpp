#include "spell_json_check.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <sys/wait.h>

#include "run_tool.hpp"

namespace qm_test {

namespace st = quillmere_dat::file_type::spell_table;

namespace {

std::string hex(std::string_view bytes) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out.push_back(d[b >> 4]);
    out.push_back(d[b & 15]);
  }
  return out;
}

std::string shell_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void member(std::ostringstream& out, const st::SpellBase& s, const std::string& key) {
  char bits[16];
  auto u = [&](std::uint32_t v) { out << "uint " << key << ' ' << v << '\n'; };
  auto f = [&](float v) {
    std::snprintf(bits, sizeof bits, "%08x", std::bit_cast<std::uint32_t>(v));
    out << "f32 " << key << ' ' << bits << '\n';
  };
  if (key == "name") out << "str name " << hex(s.name) << '\n';
  else if (key == "description") out << "str description " << hex(s.description) << '\n';
  else if (key == "school") u(s.school);
  else if (key == "category") u(s.category);
  else if (key == "bitfield") u(s.bitfield);
  else if (key == "base_mana") u(s.base_mana);
  else if (key == "base_range_constant") f(s.base_range_constant);
  else if (key == "base_range_mod") f(s.base_range_mod);
  else if (key == "power") u(s.power);
  else if (key == "mana_mod") u(s.mana_mod);
  else if (key == "formula_version") u(s.formula_version);
  else if (key == "raw_components") {
    out << "arr raw_components ";
    for (std::size_t i = 0; i < s.raw_components.size(); ++i) out << (i ? "," : "") << s.raw_components[i];
    out << '\n';
  } else {
    out << "unknown-field " << key << " -\n";
  }
}

}  // namespace

std::string export_expectations(const st::SpellTable& table, const ExpectedExport& sel) {
  std::ostringstream out;
  out << "fileId " << table.id << '\n';
  out << "fields ";
  for (std::size_t i = 0; i < sel.field_keys.size(); ++i) out << (i ? "," : "") << sel.field_keys[i];
  out << '\n';
  std::map<std::uint32_t, const st::SpellBase*> kept;
  for (const auto& [id, s] : table.spells) {
    if (!sel.school_numbers.empty() &&
        std::find(sel.school_numbers.begin(), sel.school_numbers.end(), s.school) == sel.school_numbers.end())
      continue;
    if (!sel.categories.empty() &&
        std::find(sel.categories.begin(), sel.categories.end(), s.category) == sel.categories.end())
      continue;
    kept[id] = &s;
  }
  for (const auto& [id, s] : kept) {
    out << "spell " << id << '\n';
    for (const auto& key : sel.field_keys) member(out, *s, key);
  }
  return out.str();
}

namespace {

// The interpreter behind python3, found once: launchers such as version-manager shims cost
// much of a second per start.
const std::string& python_executable() {
  static const std::string exe = [] {
    std::string out;
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) return out;
    if (FILE* p = ::popen("python3 -c 'import sys; print(sys.executable)' 2>/dev/null", "r")) {
      char buf[4096];
      while (std::fgets(buf, sizeof buf, p)) out += buf;
      ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out.empty() ? std::string("python3") : out;
  }();
  return exe;
}

}  // namespace

bool have_python3() { return !python_executable().empty(); }

std::string py_script_dir() {
  return (std::filesystem::path(__FILE__).parent_path().parent_path() / "py").string();
}

PyCheck run_py_script(const std::string& script, const std::vector<std::string>& args) {
  PyCheck r;
  if (!have_python3()) return r;
  TempDir dir;
  const auto out_path = dir / "out.txt";
  std::string cmd = shell_quote(python_executable()) + " " + shell_quote(py_script_dir() + "/" + script);
  for (const auto& a : args) cmd += " " + shell_quote(a);
  cmd += " >" + shell_quote(out_path.string()) + " 2>&1";
  const int raw = std::system(cmd.c_str());
  r.ran = true;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
  r.output = slurp(out_path);
  return r;
}

PyCheck check_spell_document(const std::string& document, const std::string& expectations) {
  if (!have_python3()) return {};
  TempDir dir;
  const auto doc = dir / "doc.json", exp = dir / "expect.txt";
  std::ofstream(doc, std::ios::binary) << document;
  std::ofstream(exp, std::ios::binary) << expectations;
  return run_py_script("check_spell_export.py", {doc.string(), exp.string()});
}

}  // namespace qm_test
