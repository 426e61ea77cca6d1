// The program's command line: which console front-end to use, or help and version texts.
#pragma once

#include <string>
#include <vector>

namespace falatro {

/// Where the console is shown.
enum class FrontendChoice { kAuto, kWindow, kTerminal, kHeadless };

struct ProgramOptions {
  FrontendChoice frontend = FrontendChoice::kAuto;
  bool help = false;     ///< print the usage and stop
  bool version = false;  ///< print the version and stop
  std::string error;     ///< set when the command line is wrong (the usage follows it)
};

/// Reads the arguments after the program's name: --window, --terminal, --headless (the last one
/// given wins), --help / -h, --version. Anything else sets error.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

/// The usage text (UTF-8, for standard output), naming the program as program.
std::string UsageText(const std::string& program);

}  // namespace falatro
