// Starting a program on a pseudo-terminal, for tests and benchmarks that drive it as a user would.
#include "pty_program.h"

#include <pty.h>
#include <unistd.h>

namespace falatro::testsupport {

pid_t StartOnPty(const std::vector<std::string>& argv, const std::vector<std::string>& env, int cols,
                 int rows, int* master) {
  // Everything the child needs is built before the fork: after it, only exec and _exit are called.
  std::vector<std::string> args_copy = argv, env_copy = env;
  std::vector<char*> args, envp;
  for (std::string& a : args_copy) args.push_back(a.data());
  args.push_back(nullptr);
  for (std::string& e : env_copy) envp.push_back(e.data());
  envp.push_back(nullptr);
  winsize size{};
  size.ws_row = static_cast<unsigned short>(rows);
  size.ws_col = static_cast<unsigned short>(cols);
  const pid_t child = forkpty(master, nullptr, nullptr, &size);
  if (child == 0) {
    if (args[0]) execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  return child;
}

}  // namespace falatro::testsupport
