// The program: reads the command line, chooses the console front-end and the sound device, then runs
// the client's start-up and main menu.
#include <cstdio>
#include <string>
#include <vector>

#include "app/client_state.h"
#include "app/main_menu.h"
#include "app/program_options.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"
#include "platform/console/terminal/terminal_frontend.h"
#include "platform/console/window/window_frontend.h"
#include "platform/speech/synthesizers.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"

namespace {

using falatro::FrontendChoice;

// Opens the console on the chosen front-end. With no choice: the window when a display opens, else the
// terminal. False (with *error) when nothing the user asked for can be shown.
bool OpenConsole(FrontendChoice choice, std::string* error) {
  using namespace falatro;
  auto try_frontend = [](ConsoleFrontend* frontend) {
    if (!Crt.Created) {
      SetConsoleFrontend(frontend);
      InitConsole();
    } else {
      SetConsoleFrontend(frontend);
    }
    return Crt.Frontend == frontend;
  };
  switch (choice) {
    case FrontendChoice::kHeadless:
      return try_frontend(HeadlessFrontend());
    case FrontendChoice::kWindow:
      if (try_frontend(WindowFrontend())) return true;
      *error = "no window could be opened (is there a display?)";
      return false;
    case FrontendChoice::kTerminal:
      if (try_frontend(TerminalFrontend())) return true;
      *error = "no terminal to draw on (the program has no controlling terminal)";
      return false;
    case FrontendChoice::kAuto:
      if (try_frontend(WindowFrontend())) return true;
      if (try_frontend(TerminalFrontend())) return true;
      *error = "neither a window nor a terminal could be opened; use --headless for automated runs";
      return false;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace falatro;
  const std::string program = argc > 0 && argv[0] ? argv[0] : "falatro";
  const ProgramOptions options = ParseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!options.error.empty()) {
    std::fprintf(stderr, "%s: %s\n\n%s", program.c_str(), options.error.c_str(), UsageText(program).c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText(program).c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("Falatro %s\n", kClientVersion);
    return 0;
  }
  InitSuiteSettings();
  // The sound device first: a device that cannot open says so on standard error, which must not land
  // on a terminal the console already draws on.
  OpenSoundDevice();
  InstallSynthesizers();
  std::string error;
  if (!OpenConsole(options.frontend, &error)) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
    CloseSoundDevice();
    return 1;
  }
  InitClient();
  MainMenu();
}
