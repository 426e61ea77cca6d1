// A fresh console for tests: the headless front-end on a chosen clock, nothing left in the loop.
#pragma once

#include "base/event_loop.h"

namespace falatro::testsupport {

/// Drops every posted message and pending timer of the event loop.
void ClearEventLoop();

/// Clears the event loop and runs it on backend; resets the console, the keyboard and the headless
/// front-end's record (beeps, title...), answering key_up_events to HasKeyUpEvents, and installs that
/// front-end on backend; the console's exit throws ConsoleExit instead of ending the process.
void StartQuietConsole(LoopBackend* backend, bool key_up_events);

}  // namespace falatro::testsupport
