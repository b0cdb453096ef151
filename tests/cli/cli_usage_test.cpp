#include <gtest/gtest.h>

#include "run_tool.hpp"

namespace {

using qm_test::run_tool;

TEST(CliUsage, NoArgumentsShowsHelpWithStatus2) {
  auto r = run_tool({});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("qma-pack"), std::string::npos);
}

TEST(CliUsage, VersionAndHelpExitZero) {
  for (const char* flag : {"-V", "--version"}) {
    auto r = run_tool({flag});
    EXPECT_EQ(r.status, 0) << flag;
    EXPECT_EQ(r.out, "quillmere-tools 0.1.0\n");
  }
  for (std::vector<std::string> args : {std::vector<std::string>{"--help"}, {"-h"}, {"help"}, {"help", "list"},
                                        {"list", "--help"}}) {
    auto r = run_tool(args);
    EXPECT_EQ(r.status, 0) << args[0];
    EXPECT_FALSE(r.out.empty());
  }
}

TEST(CliUsage, UsageErrorsExitTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"no-such-command"},
      {"list"},                                    // missing PATH
      {"list", "a.dat", "--bogus"},                // undefined option
      {"info", "a.dat"},                           // missing ID
      {"spell-export", "a.dat", "--schools", "fire"},
      {"spell-export", "a.dat", "--fields", "name,colour"},
      {"spell-export", "a.dat", "--preset", "max"},
      {"spell-export", "a.dat", "--categories", "7,x"},
      {"spell-export", "a.dat", "--categories", "4294967296"},
      {"qma-pack", "in"},
      {"help", "no-such-command"},
  };
  for (const auto& args : cases) {
    auto r = run_tool(args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(r.err.empty());
  }
}

TEST(CliUsage, HelpListsSubcommandsInOrderWithAboutTexts) {
  auto r = run_tool({"--help"});
  const std::vector<std::string> order = {
      "meta", "list", "info", "export", "spell-export", "extract", "weenie", "weenie-find", "landblock", "qma-pack"};
  std::size_t pos = 0;
  for (const auto& name : order) {
    auto at = r.out.find("  " + name + " ", pos);
    ASSERT_NE(at, std::string::npos) << name;
    pos = at;
  }
  EXPECT_NE(r.out.find("Pack a directory into an QMA archive"), std::string::npos);
  auto spell = run_tool({"help", "spell-export"});
  for (const char* text : {"Spell schools to include in the export", "Output JSON file; prints to stdout when omitted",
                           "Field preset to use when no explicit fields are provided", "SCHOOLS", "NAMESPACE"})
    EXPECT_NE(spell.out.find(text), std::string::npos) << text;
}

}  // namespace
