// A console front-end for tests and benchmarks that draws through the terminal renderer into memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "console/frontend.h"

namespace falatro::testsupport {

/// Draws every console request through the terminal renderer (TermRender), as the terminal front-end
/// would into the tty, and hands each drawing's bytes to feed instead of a terminal; counts them.
struct RendererFrontend : ConsoleFrontend {
  LoopBackend* backend = nullptr;
  int cols = 80, rows = 25;                     ///< the terminal's size given to the renderer at Open
  std::function<void(std::string_view)> feed;   ///< gets each drawing's bytes (may be empty); optional
  uint64_t bytes = 0;                           ///< bytes drawn so far (callers may zero it)
  uint64_t writes = 0;                          ///< drawings that sent any byte (callers may zero it)
  size_t last_bytes = 0;                        ///< bytes of the latest drawing

  /// Hands what the renderer has gathered to feed, counts it and empties the renderer's output.
  void Flush();

  const char* Name() const override { return "memory"; }
  bool Open(std::string*) override;
  void Close() override {}
  void PaintSpan(int row, int first, int end) override;
  void RepaintAll() override;
  void ScrollUp(int left, int top, int right, int bottom, bool) override;
  void SetCaret(bool visible, int col, int row) override;
  void SetTitle(std::string_view) override {}
  void Beep() override {}
  bool SetClipboard(std::string_view) override { return false; }
  bool GetClipboard(std::string*) override { return false; }
  bool HasKeyUpEvents() const override { return false; }
  void Notice(std::string_view text) override;
  LoopBackend* Backend() override { return backend; }
};

}  // namespace falatro::testsupport
