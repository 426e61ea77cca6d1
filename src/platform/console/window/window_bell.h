// The window's beep: the display server's bell.
#pragma once

struct SDL_Window;

namespace falatro {

/// Rings the display's bell for window (the desktop's default beep). Does nothing on a display
/// without a bell of its own, or when window is null.
void WindowBell(SDL_Window* window);

}  // namespace falatro
