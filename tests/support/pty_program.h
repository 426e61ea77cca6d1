// Starting a program on a pseudo-terminal, for tests and benchmarks that drive it as a user would.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace falatro::testsupport {

/// Runs argv[0] (a path) with argv and exactly the environment env ("NAME=value" entries) in a child
/// on a new pseudo-terminal of cols x rows; *master gets the terminal's controlling side. Returns the
/// child's process id, or -1 when no terminal could be made (a program that cannot start exits 127).
pid_t StartOnPty(const std::vector<std::string>& argv, const std::vector<std::string>& env, int cols,
                 int rows, int* master);

}  // namespace falatro::testsupport
