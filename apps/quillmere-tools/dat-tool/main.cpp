// The process entry: parse, run one subcommand, report.
#include <csignal>
#include <cstdio>

#include "cli.hpp"
#include "commands.hpp"
#include "error.hpp"
#include "output_file.hpp"

int main(int argc, char** argv) {
  auto parsed = dat_tool::parse_cli(argc, argv);
  if (!parsed.cli) {
    std::fputs(parsed.out.c_str(), stdout);
    std::fputs(parsed.err.c_str(), stderr);
    return parsed.exit_code;
  }
  // A closed reader ends a listing quietly; an oversized write fails as an error, not a signal;
  // an interrupted write leaves no temporary file behind.
  std::signal(SIGPIPE, SIG_DFL);
  std::signal(SIGXFSZ, SIG_IGN);
  dat_tool::remove_pending_file_on_signals();

  // Report lines are many and short: buffer them fully instead of flushing per line.
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);

  auto result = dat_tool::run_command(parsed.cli->command, stdout);
  if (std::fflush(stdout) != 0 && result) return 1;
  if (!result) {
    std::fputs(dat_tool::format_report(result.error()).c_str(), stderr);
    return 1;
  }
  return 0;
}
