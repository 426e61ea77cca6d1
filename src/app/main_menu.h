// Start-up and the main menu: the client's set-up, banner, credits and the loop of single keys.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace falatro {

/// The six banner lines: the program's name in block letters of "#" and blanks, 48 columns each.
extern const char* const kBannerLines[6];

/// The main menu's own state. The channel keys call the channel conversation and the channel list;
/// a test may put other actions in their place here.
struct MainMenuState {
  std::function<void(const std::string& channel)> join_channel;  ///< key J, after the name is read
  std::function<void()> browse_channel_list;                    ///< key L
  std::function<void()> send_private_message;                   ///< key M
  uint64_t wait_wakeups = 0;  ///< times the menu's key wait woke up (idle checks in benchmarks)
  uint64_t lines_handled = 0; ///< server lines read and dispatched at the menu
};
extern MainMenuState Menu;

/// Sets up the client: clears the console and titles it "Falatro", empties the ignore list, port 6667,
/// not connected; starts speech with the sound directory of "FALATRO"/"DIRFALATRO" (default
/// "c:\zanvel\som\falatro"), punctuation off; reads the text-encoding and network settings; finds and
/// reads the settings file (the first-run dialogue when there is none).
void InitClient();

/// Shows the banner and credits, says the version, and runs the menu loop for ever; returns only by
/// ending the program (quit confirmation, closed window).
[[noreturn]] void MainMenu();

/// Draws the banner (blue) at rows 1 to 6 and the credits beside it, without speech.
void DrawBanner();

/// F9 of the main menu and the channel: a beep, the screen review over rows 1 to 24, and the cursor
/// back where it was.
void ReviewClientScreen();

/// Says the main-menu help prompts, one per line.
void ShowMainHelp();

/// Reads and dispatches every server line that is waiting; a failed read is a dropped connection.
void HandlePendingServerLines();

/// Waits for a key while reading and dispatching server lines as they arrive; returns when a key is
/// queued, or at once when not connected. Sleeps in the event loop until a key, a message or server
/// data comes (no polling).
void WaitForMenuKey();

/// One pass of the menu loop: pending lines, discarding keys typed meanwhile, the prompt, the wait,
/// the key and its action.
void MainMenuPass();

/// Carries out the action of a main-menu key (key byte and extended code as ReadKeySpoken gives them).
void HandleMenuKey(uint8_t key, uint8_t ext);

/// The quit confirmation: ends the program when the answer is S or s.
void ConfirmQuit();

}  // namespace falatro
