// The headless console front-end: shows nothing; for tests and machines with no display.
#include "platform/console/headless/headless_frontend.h"

namespace falatro {

HeadlessState Headless;

namespace {

struct HeadlessFrontendImpl : ConsoleFrontend {
  const char* Name() const override { return "headless"; }
  bool Open(std::string*) override {
    Headless.open = true;
    return true;
  }
  void Close() override { Headless.open = false; }
  void PaintSpan(int, int, int) override { ++Headless.paints; }
  void RepaintAll() override { ++Headless.paints; }
  void ScrollUp(int, int, int, int, bool) override { ++Headless.paints; }
  void SetCaret(bool visible, int, int) override { Headless.caret_visible = visible; }
  void SetTitle(std::string_view title) override { Headless.title.assign(title); }
  void Beep() override { ++Headless.beeps; }
  bool SetClipboard(std::string_view) override { return false; }
  bool GetClipboard(std::string*) override { return false; }
  bool HasKeyUpEvents() const override { return Headless.key_up_events; }
  void Notice(std::string_view text) override { Headless.notice.assign(text); }
  LoopBackend* Backend() override { return Headless.backend ? Headless.backend : RealClockBackend(); }
};

}  // namespace

ConsoleFrontend* HeadlessFrontend(LoopBackend* backend) {
  static HeadlessFrontendImpl frontend;
  Headless.backend = backend;
  return &frontend;
}

}  // namespace falatro
