// Fuzz target: any bytes from a terminal, in any chunks, decode without a crash or a wrong key form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/event_loop.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/terminal/terminal_input.h"

using namespace falatro;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SimulatedBackend sim;  // mode tones wait 200 ms: on a simulated clock that takes no time
  SetLoopBackend(&sim);
  ResetKeyboardState();
  TerminalInputState st;
  std::vector<Message> msgs;
  // The first byte chooses the chunk size, so splits inside sequences are explored too.
  size_t chunk = size ? (data[0] % 16) + 1 : 1;
  size_t pos = size ? 1 : 0;
  while (pos < size) {
    size_t n = std::min(chunk, size - pos);
    DecodeTerminalInput(&st, std::string_view(reinterpret_cast<const char*>(data + pos), n), &msgs);
    if (st.pending.size() > kMaxSequence + 8 && !st.in_paste) std::abort();
    pos += n;
  }
  FlushTerminalInput(&st, &msgs);
  if (!st.pending.empty() || st.in_paste) std::abort();
  for (const Message& m : msgs) {
    if (m.kind != kMsgKeyDown && m.kind != kMsgChar && m.kind != kMsgFocus) std::abort();
    if (m.kind == kMsgChar && m.key.ch == 0) std::abort();  // a zero would read as an extended key
    TranslateKeyMessage(m);
    if (Kbd.KeyCount < 0 || Kbd.KeyCount > KeyBufferSize) std::abort();
  }
  // Every 0 in the queue is followed by its code.
  for (int i = 0; i < Kbd.KeyCount; ++i) {
    if (Kbd.KeyBuffer[i] == 0) {
      if (i + 1 >= Kbd.KeyCount) std::abort();
      ++i;
    }
  }
  return 0;
}
