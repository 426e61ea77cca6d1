// The program's command line.
#include "app/program_options.h"

namespace falatro {

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
  ProgramOptions options;
  for (const std::string& arg : args) {
    if (arg == "--window") {
      options.frontend = FrontendChoice::kWindow;
    } else if (arg == "--terminal") {
      options.frontend = FrontendChoice::kTerminal;
    } else if (arg == "--headless") {
      options.frontend = FrontendChoice::kHeadless;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (options.error.empty()) {
      options.error = "unknown option: " + arg;
    }
  }
  return options;
}

std::string UsageText(const std::string& program) {
  return "Usage: " + program + " [--window | --terminal | --headless] [--help] [--version]\n"
         "\n"
         "Falatro, a talking IRC client.\n"
         "\n"
         "  --window     show the console in its own window (needs a display)\n"
         "  --terminal   show the console in this terminal (80 x 25 at least)\n"
         "  --headless   show nothing (automated runs)\n"
         "  --help       print this text\n"
         "  --version    print the version\n"
         "\n"
         "Without an option the window is used when a display opens, else the terminal.\n"
         "\n"
         "Environment:\n"
         "  FALATRO_AUDIO   sound device: sdl (default), null, or file:PATH (a WAV recording)\n"
         "  NARRIX_WINDIR   folder of NARRIX.INI (default ~/.config/narrix)\n"
         "  NARRIX_ROOT     what drive paths of the settings stand for (default ~/.local/share/narrix)\n";
}

}  // namespace falatro
