// A console front-end for tests and benchmarks that draws through the terminal renderer into memory.
#include "renderer_frontend.h"

#include "platform/console/terminal/terminal_renderer.h"

namespace falatro::testsupport {

void RendererFrontend::Flush() {
  last_bytes = TermRender.out.size();
  bytes += last_bytes;
  if (last_bytes > 0) ++writes;
  if (feed) feed(TermRender.out);
  TermRender.out.clear();
}

bool RendererFrontend::Open(std::string*) {
  RendererReset(&TermRender, cols, rows);
  Flush();
  return true;
}

void RendererFrontend::PaintSpan(int row, int first, int end) {
  RenderSpan(&TermRender, row, first, end);
  Flush();
}

void RendererFrontend::RepaintAll() {
  RenderAll(&TermRender);
  Flush();
}

void RendererFrontend::ScrollUp(int left, int top, int right, int bottom, bool) {
  RenderScroll(&TermRender, left, top, right, bottom);
  Flush();
}

void RendererFrontend::SetCaret(bool visible, int col, int row) {
  RenderCaret(&TermRender, visible, col, row);
  Flush();
}

void RendererFrontend::Notice(std::string_view text) {
  RenderNotice(&TermRender, text);
  Flush();
}

}  // namespace falatro::testsupport
