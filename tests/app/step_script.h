// A script of steps that drives the client from loop timers in the end-to-end tests: each step waits
// for a condition, then acts, and fails the test when its condition does not come in time.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/event_loop.h"

namespace falatro::apptest {

/// Thrown from inside the client's loop (through a timer) to end a scripted run.
struct ScriptFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct StepScript {
  struct Step {
    std::string what;
    std::function<bool()> ready;
    std::function<void()> act;
    int timeout_ms;
  };
  std::vector<Step> steps;
  size_t step = 0;
  uint64_t step_started = 0;

  /// Adds a step: when ready() holds, act() runs and the script moves on; a step not ready within
  /// timeout_ms fails the run.
  void Then(std::string what, std::function<bool()> ready, std::function<void()> act = {},
            int timeout_ms = 10000) {
    steps.push_back({std::move(what), std::move(ready), std::move(act), timeout_ms});
  }
  /// Starts the script from its first step, now.
  void Start() {
    step = 0;
    step_started = NowMs();
  }
  bool Done() const { return step == steps.size(); }
  /// Checks the current step once: runs it when ready, throws ScriptFailure when it is late.
  void Advance() {
    if (Done()) return;
    Step& s = steps[step];
    if (s.ready()) {
      if (s.act) s.act();
      ++step;
      step_started = NowMs();
    } else if (NowMs() - step_started > static_cast<uint64_t>(s.timeout_ms)) {
      throw ScriptFailure("step not reached in time: " + s.what);
    }
  }
  /// Milliseconds since the last step ran (or the script started).
  uint64_t SinceLastStep() const { return NowMs() - step_started; }
};

}  // namespace falatro::apptest
