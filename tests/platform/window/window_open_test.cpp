// Opening the window where there is no desktop: a clear failure, so the program uses the terminal.
#include <gtest/gtest.h>

#include <cstdlib>

#include "console/nxcrt.h"
#include "platform/console/window/window_frontend.h"

namespace falatro {
namespace {

TEST(WindowOpen, WithoutADisplayOpeningFailsWithAReasonAndTheConsoleCarriesOn) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  std::string error;
  EXPECT_FALSE(WindowFrontend()->Open(&error));
  EXPECT_NE(error.find("no display"), std::string::npos) << error;
  EXPECT_FALSE(Win.IsOpen);
  WindowFrontend()->Close();  // closing what never opened does nothing

  // The console created on it goes on without a front-end (the program then picks the terminal).
  ResetConsoleState();
  Crt.Frontend = WindowFrontend();
  InitConsole();
  EXPECT_TRUE(Crt.Created);
  EXPECT_EQ(Crt.Frontend, nullptr);
  WriteConsoleText("ok", 2);
  EXPECT_EQ(ScreenChar(1, 1), 'o');
}

}  // namespace
}  // namespace falatro
