// The terminal console front-end: the controlling tty in raw mode shows the 80 x 25 screen.
#include "platform/console/terminal/terminal_frontend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/terminal/terminal_guard.h"
#include "platform/console/terminal/terminal_input.h"
#include "platform/console/terminal/terminal_renderer.h"

namespace falatro {

TerminalState Term;

namespace {

// Title saved, alternate screen, bracketed paste, focus reports, cursor hidden; and their undoing.
constexpr std::string_view kEnterSeq = "\x1b[22;0t\x1b[?1049h\x1b[?2004h\x1b[?1004h\x1b[?25l";
constexpr std::string_view kExitSeq = "\x1b[0m\x1b[?1004l\x1b[?2004l\x1b[?25h\x1b[?1049l\x1b[23;0t";
// Messages waiting to be dispatched beyond which the tty is left unread (its own buffer holds the rest).
constexpr size_t kMaxPosted = 1024;
constexpr int kPasteQuietMs = 1000;

uint64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void FlushOutput() {
  std::string& out = TermRender.out;
  size_t done = 0;
  while (done < out.size() && Term.fd >= 0 && !Term.gone) {
    ssize_t n = write(Term.fd, out.data() + done, out.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      struct pollfd p = {Term.fd, POLLOUT, 0};
      if (poll(&p, 1, 2000) > 0) continue;
    }
    break;  // the terminal is gone or stuck: what is not written is lost, not retried forever
  }
  out.clear();
}

// The console's cursor, where the terminal's cursor rests between drawings.
void SyncCaret() {
  int width = Crt.TextWindow.Right - Crt.TextWindow.Left + 1;
  TermRender.caret_col = Crt.TextWindow.Left + std::clamp(Crt.CursorPos.X, 0, width - 1);
  TermRender.caret_row = Crt.TextWindow.Top + std::clamp(Crt.CursorPos.Y, 0, ScreenRows - 1);
}

void QuerySize(int* cols, int* rows) {
  struct winsize ws;
  std::memset(&ws, 0, sizeof ws);
  if (Term.fd >= 0 && ioctl(Term.fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
    *cols = ws.ws_col;
    *rows = ws.ws_row;
  } else {
    *cols = ScreenCols;
    *rows = ScreenRows;
  }
}

void Redraw() {
  int cols, rows;
  QuerySize(&cols, &rows);
  RendererReset(&TermRender, cols, rows);
  SyncCaret();
  RenderAll(&TermRender);
  RenderCaret(&TermRender, TermRender.caret_visible, TermRender.caret_col, TermRender.caret_row);
  FlushOutput();
}

void PostAll(const std::vector<Message>& messages) {
  for (const Message& m : messages) PostMessage(m);
  if (TermInput.pastes != Term.pastes_seen) {
    // The terminal's paste becomes the program's clipboard, for its own paste command.
    Term.pastes_seen = TermInput.pastes;
    Kbd.OwnClipboard = TermInput.last_paste;
  }
}

void TerminalGone() {
  if (Term.gone) return;
  Term.gone = true;
  Message m;
  m.kind = kMsgClose;
  PostMessage(m);
}

void ReadTty() {
  char buf[4096];
  for (;;) {
    ssize_t n = read(Term.fd, buf, sizeof buf);
    if (n > 0) {
      std::vector<Message> messages;
      DecodeTerminalInput(&TermInput, std::string_view(buf, static_cast<size_t>(n)), &messages);
      Term.last_input_ms = SteadyMs();
      PostAll(messages);
      return;  // one buffer per wait: a flood is taken in steps, never all at once
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    TerminalGone();  // end of file or an error: the terminal hung up
    return;
  }
}

size_t PostedCount() {
  std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
  return EventLoop.posted.size();
}

struct TerminalBackend : LoopBackend {
  uint64_t NowMs() override { return SteadyMs(); }

  void Wait(int timeout_ms, const int* fds, bool* readable, int nfds) override {
    std::vector<pollfd> p;
    p.reserve(nfds + 2);
    p.push_back({Term.pipe_rd, POLLIN, 0});
    bool tty = Term.open && !Term.gone && Term.fd >= 0 && PostedCount() < kMaxPosted;
    if (tty) p.push_back({Term.fd, POLLIN, 0});
    size_t first_fd = p.size();
    for (int i = 0; i < nfds; ++i) p.push_back({fds[i], POLLIN, 0});

    bool pending = Term.open && TerminalInputPending(TermInput);
    if (pending) {
      int quiet = TermInput.in_paste ? kPasteQuietMs : Term.esc_delay_ms;
      uint64_t since = SteadyMs() - Term.last_input_ms;
      int left = since >= static_cast<uint64_t>(quiet) ? 0 : quiet - static_cast<int>(since);
      timeout_ms = timeout_ms < 0 ? left : std::min(timeout_ms, left);
    }
    int n = poll(p.data(), p.size(), timeout_ms);
    if (n > 0 && p[0].revents) {
      char notes[64];
      ssize_t got;
      bool resize = false, cont = false;
      while ((got = read(Term.pipe_rd, notes, sizeof notes)) > 0) {
        for (ssize_t i = 0; i < got; ++i) {
          if (notes[i] == 'W') resize = true;
          if (notes[i] == 'C') cont = true;
        }
      }
      if (Term.open && cont) ReenterRawMode();
      if (Term.open && (resize || cont)) {
        Redraw();
        Message m;
        m.kind = kMsgResize;
        PostMessage(m);
      }
    }
    if (n > 0 && tty) {
      short ev = p[1].revents;
      if (ev & POLLIN) ReadTty();
      else if (ev & (POLLHUP | POLLERR | POLLNVAL)) TerminalGone();
    }
    if (Term.open && TerminalInputPending(TermInput)) {
      int quiet = TermInput.in_paste ? kPasteQuietMs : Term.esc_delay_ms;
      if (SteadyMs() - Term.last_input_ms >= static_cast<uint64_t>(quiet)) {
        std::vector<Message> messages;
        FlushTerminalInput(&TermInput, &messages);
        PostAll(messages);
      }
    }
    if (n > 0) {
      for (int i = 0; i < nfds; ++i)
        if (p[first_fd + i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) readable[i] = true;
    }
  }

  void Wake() override {
    if (Term.pipe_wr < 0) return;
    char c = 1;
    ssize_t r = write(Term.pipe_wr, &c, 1);
    (void)r;  // a full pipe already holds a wake-up
  }
};

TerminalBackend& Backend() {
  static TerminalBackend backend;
  return backend;
}

bool MakePipe() {
  if (Term.pipe_rd >= 0) return true;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  Term.pipe_rd = fds[0];
  Term.pipe_wr = fds[1];
  return true;
}

struct TerminalFrontendImpl : ConsoleFrontend {
  const char* Name() const override { return "terminal"; }

  bool Open(std::string* error) override {
    if (Term.open) return true;
    if (!MakePipe()) {
      if (error) *error = std::string("pipe: ") + std::strerror(errno);
      return false;
    }
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      if (error) *error = std::string("no terminal: ") + std::strerror(errno);
      return false;
    }
    if (!EnterRawMode(fd, Term.pipe_wr, kEnterSeq, kExitSeq, error)) {
      close(fd);
      return false;
    }
    Term.fd = fd;
    Term.open = true;
    Term.gone = false;
    const char* term = std::getenv("TERM");
    TermInput = TerminalInputState{};
    TermInput.rxvt_keys = term && std::strncmp(term, "rxvt", 4) == 0;
    Term.pastes_seen = 0;
    Term.esc_delay_ms = 50;
    if (const char* delay = std::getenv("FALATRO_ESC_DELAY")) {
      int ms = std::atoi(delay);
      if (ms >= 10 && ms <= 2000) Term.esc_delay_ms = ms;
    }
    TermRender = TerminalRendererState{};
    TermRender.truecolor = WantsTrueColor(std::getenv("COLORTERM"));
    Redraw();
    return true;
  }

  void Close() override {
    if (!Term.open) return;
    FlushOutput();
    ReleaseTerminal();
    close(Term.fd);
    Term.fd = -1;
    Term.open = false;
  }

  void PaintSpan(int row, int first_col, int end_col) override {
    if (!Term.open) return;
    SyncCaret();
    RenderSpan(&TermRender, row, first_col, end_col);
    FlushOutput();
  }

  void RepaintAll() override {
    if (!Term.open) return;
    SyncCaret();
    RenderAll(&TermRender);
    RenderCaret(&TermRender, TermRender.caret_visible, TermRender.caret_col, TermRender.caret_row);
    FlushOutput();
  }

  void ScrollUp(int left, int top, int right, int bottom, bool) override {
    if (!Term.open) return;
    SyncCaret();
    RenderScroll(&TermRender, left, top, right, bottom);
    FlushOutput();
  }

  void SetCaret(bool visible, int col, int row) override {
    if (!Term.open) return;
    RenderCaret(&TermRender, visible, col, row);
    FlushOutput();
  }

  void SetTitle(std::string_view title) override {
    Term.title.assign(title);
    if (!Term.open) return;
    RenderTitle(&TermRender, title);
    FlushOutput();
  }

  void Beep() override {
    if (!Term.open) return;
    TermRender.out += '\a';
    FlushOutput();
  }

  bool SetClipboard(std::string_view text) override {
    if (!Term.open) return false;
    RenderClipboard(&TermRender, text);
    FlushOutput();
    return true;
  }

  // The terminal cannot be asked for its clipboard; the program's own buffer (which holds what was
  // copied and what the terminal pasted) serves.
  bool GetClipboard(std::string*) override { return false; }

  bool HasKeyUpEvents() const override { return false; }

  void Notice(std::string_view text) override {
    Term.notice.assign(text);
    if (!Term.open) return;
    if (TermRender.term_rows > ScreenRows) RenderNotice(&TermRender, text);
    else RenderTitle(&TermRender, text);
    FlushOutput();
  }

  LoopBackend* Backend() override {
    MakePipe();
    return &falatro::Backend();
  }
};

}  // namespace

bool TerminalAvailable() {
  if (Term.open) return true;
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  bool tty = isatty(fd);
  close(fd);
  return tty;
}

ConsoleFrontend* TerminalFrontend() {
  static TerminalFrontendImpl frontend;
  return &frontend;
}

}  // namespace falatro
