#include "run_program.hpp"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qm_test {

bool have_program(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string dirs = path;
  for (std::size_t start = 0; start <= dirs.size();) {
    const auto colon = dirs.find(':', start);
    const std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    const auto candidate = std::filesystem::path(dir.empty() ? "." : dir) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return false;
}

ToolRun run_program(const std::vector<std::string>& args, const std::string& input,
                    const std::filesystem::path& cwd) {
  // A program that exits without reading all its input must not take the test run down.
  std::signal(SIGPIPE, SIG_IGN);
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  ToolRun run;
  if (rc != 0) {
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    run.status = 127;
    return run;
  }

  // Feed stdin while draining stdout and stderr, so neither side blocks on a full pipe.
  std::size_t fed = 0;
  int in_fd = in_pipe[1];
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  pollfd fds[3] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {in_fd, POLLOUT, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  char buf[65536];
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds, 3, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
    if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = (fds[2].revents & POLLOUT) ? write(fds[2].fd, input.data() + fed, input.size() - fed) : -1;
      if (n > 0) fed += static_cast<std::size_t>(n);
      if (n <= 0 || fed == input.size()) {
        close(fds[2].fd);
        fds[2].fd = -1;
      }
    }
  }
  if (fds[2].fd >= 0) close(fds[2].fd);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace qm_test
