// Decoding of terminal input: escape sequences (xterm, VT220, rxvt, Linux console) and UTF-8 into key events.
#include "platform/console/terminal/terminal_input.h"

#include <cstdint>

#include "base/text_encoding.h"
#include "console/keyboard.h"

namespace falatro {

TerminalInputState TermInput;

namespace {

constexpr size_t kNeedMore = 0;

struct Sink {
  TerminalInputState* st;
  std::vector<Message>* out;

  void Key(uint16_t vk, uint8_t mods) {
    Message m;
    m.kind = kMsgKeyDown;
    m.key.vk = vk;
    m.key.mods = mods;
    out->push_back(m);
  }
  void Char(uint8_t ch, uint8_t mods = 0) {
    Message m;
    m.kind = kMsgChar;
    m.key.ch = ch;
    m.key.mods = mods;
    out->push_back(m);
  }
  void Focus(bool gained) {
    Message m;
    m.kind = kMsgFocus;
    m.a = gained ? 1 : 0;
    out->push_back(m);
  }
  void Drop(size_t n) { st->dropped += n; }
};

// Modifier parameter of xterm sequences: 1 + (Shift 1, Alt 2, Ctrl 4, Meta 8).
uint8_t ModsFromParam(long m) {
  if (m < 2) return 0;
  long bits = m - 1;
  uint8_t mods = 0;
  if (bits & 1) mods |= kModShift;
  if (bits & (2 | 8)) mods |= kModAlt;
  if (bits & 4) mods |= kModCtrl;
  return mods;
}

// The key of "CSI n ~" (and of rxvt's "CSI n $", "^", "@"); 0 when unknown.
uint16_t TildeKey(long n, bool rxvt, uint8_t* extra_mods) {
  switch (n) {
    case 1: case 7: return VK_HOME;
    case 2: return VK_INSERT;
    case 3: return VK_DELETE;
    case 4: case 8: return VK_END;
    case 5: return VK_PRIOR;
    case 6: return VK_NEXT;
    case 11: case 12: case 13: case 14: case 15: return static_cast<uint16_t>(VK_F1 + (n - 11));
    case 17: case 18: case 19: case 20: case 21: return static_cast<uint16_t>(VK_F1 + 5 + (n - 17));
    case 23: return VK_F11;
    case 24: return VK_F12;
    default: break;
  }
  // F13 and up are Shift+F1 .. on the Linux console and xterm, Shift+F3 .. on rxvt.
  static const long kShifted[] = {25, 26, 28, 29, 31, 32, 33, 34};
  for (int i = 0; i < 8; ++i) {
    if (kShifted[i] == n) {
      *extra_mods |= kModShift;
      return static_cast<uint16_t>(VK_F1 + i + (rxvt ? 2 : 0));
    }
  }
  return 0;
}

uint16_t LetterKey(uint8_t final) {
  switch (final) {
    case 'A': return VK_UP;
    case 'B': return VK_DOWN;
    case 'C': return VK_RIGHT;
    case 'D': return VK_LEFT;
    case 'H': return VK_HOME;
    case 'F': return VK_END;
    case 'P': return VK_F1;
    case 'Q': return VK_F1 + 1;
    case 'R': return VK_F1 + 2;
    case 'S': return VK_F1 + 3;
    default: return 0;
  }
}

// A character given by its code point with modifiers (xterm's modifyOtherKeys and "CSI u").
void CodePointKey(Sink& s, long code, uint8_t mods) {
  if (code <= 0 || code > 0x10FFFF) return s.Drop(1);
  bool alt = mods & kModAlt;
  if (alt && code < 128 && ((code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') ||
                            (code >= '0' && code <= '9'))) {
    uint16_t vk = static_cast<uint16_t>(code >= 'a' && code <= 'z' ? code - 32 : code);
    return s.Key(vk, mods);
  }
  if (code == 13 || code == 9 || code == 27) return s.Char(static_cast<uint8_t>(code), mods);
  if (code == 8 || code == 127) return s.Char(8, mods);
  if ((mods & kModCtrl) && ((code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z')))
    return s.Char(static_cast<uint8_t>(code & 0x1F), mods);
  if (code < 32 || (code >= 0x7F && code < 0xA0)) return s.Drop(1);
  int ch = UnicodeToCp1252(static_cast<uint32_t>(code));
  if (ch < 32) return s.Drop(1);
  s.Char(static_cast<uint8_t>(ch), mods);
}

// Acts on a complete CSI sequence. extra: modifiers of an ESC prefix (rxvt's Alt).
void CsiKey(Sink& s, uint8_t priv, const long* params, int nparams, bool intermediates, uint8_t final,
            uint8_t extra, size_t length) {
  if (priv || intermediates) return s.Drop(length);
  long p0 = nparams > 0 ? params[0] : -1;
  uint8_t mods = static_cast<uint8_t>(extra | (nparams > 1 ? ModsFromParam(params[1]) : 0));
  switch (final) {
    case '~':
    case '$':
    case '^':
    case '@': {
      if (final == '~' && p0 == 200) {
        s.st->in_paste = true;
        s.st->paste.clear();
        return;
      }
      if (final == '~' && p0 == 27 && nparams >= 3) return CodePointKey(s, params[2], mods);
      if (final == '$') mods |= kModShift;
      if (final == '^') mods |= kModCtrl;
      if (final == '@') mods |= kModCtrl | kModShift;
      uint16_t vk = TildeKey(p0, s.st->rxvt_keys, &mods);
      if (!vk) return s.Drop(length);
      return s.Key(vk, mods);
    }
    case 'Z':
      return s.Char(9, static_cast<uint8_t>(mods | kModShift));
    case 'a': case 'b': case 'c': case 'd': {
      static const uint16_t kArrows[] = {VK_UP, VK_DOWN, VK_RIGHT, VK_LEFT};
      return s.Key(kArrows[final - 'a'], static_cast<uint8_t>(mods | kModShift));
    }
    case 'u':
      return CodePointKey(s, p0, mods);
    case 'I':
    case 'O':
      if (nparams == 0) return s.Focus(final == 'I');
      break;
    default:
      break;
  }
  uint16_t vk = LetterKey(final);
  // "CSI 1 ; m X" or "CSI X": anything else in the first parameter is not a key.
  if (vk && (p0 == -1 || p0 == 1)) return s.Key(vk, mods);
  s.Drop(length);
}

void Ss3Key(Sink& s, long modifier, uint8_t final, uint8_t extra, size_t length) {
  uint8_t mods = static_cast<uint8_t>(extra | ModsFromParam(modifier));
  if (uint16_t vk = LetterKey(final)) return s.Key(vk, mods);
  if (final >= 'a' && final <= 'd') {
    static const uint16_t kArrows[] = {VK_UP, VK_DOWN, VK_RIGHT, VK_LEFT};
    return s.Key(kArrows[final - 'a'], static_cast<uint8_t>(mods | kModCtrl));
  }
  if (final == 'M') return s.Char(13, mods);
  // The keypad in application mode.
  static const char kKeypad[] = "*+,-./0123456789";  // 'j' .. 'y'
  if (final >= 'j' && final <= 'y') return s.Char(static_cast<uint8_t>(kKeypad[final - 'j']), mods);
  if (final == 'X') return s.Char('=', mods);
  s.Drop(length);
}

bool IsFinal(uint8_t b) { return b >= 0x40 && b <= 0x7E; }

// Parses the CSI starting at p[i] (p[i] is the byte after "ESC ["). Returns the bytes consumed from
// start (the ESC), kNeedMore when the sequence is incomplete.
size_t ParseCsi(Sink& s, std::string_view p, size_t start, size_t i, uint8_t extra, bool final_flush) {
  uint8_t priv = 0;
  long params[16];
  int nparams = 0;
  bool have_digit = false;
  long value = 0;
  bool intermediates = false;
  size_t k = i;
  if (k < p.size() && (p[k] == '<' || p[k] == '=' || p[k] == '>' || p[k] == '?')) priv = p[k++];
  // The Linux console's F1..F5: "ESC [ [ A" .. "ESC [ [ E".
  if (!priv && k < p.size() && p[k] == '[') {
    if (k + 1 >= p.size()) {
      if (final_flush) {
        s.Drop(k + 1 - start);
        return k + 1 - start;
      }
      return kNeedMore;
    }
    uint8_t b = static_cast<uint8_t>(p[k + 1]);
    if (b >= 'A' && b <= 'E') {
      s.Key(static_cast<uint16_t>(VK_F1 + (b - 'A')), extra);
      return k + 2 - start;
    }
    s.Drop(k + 1 - start);
    return k + 1 - start;  // the byte after is read afresh
  }
  for (; k < p.size(); ++k) {
    if (k - start > kMaxSequence) {
      s.st->discarding = true;
      s.Drop(k - start);
      return k - start;
    }
    uint8_t b = static_cast<uint8_t>(p[k]);
    if (b >= '0' && b <= '9') {
      if (intermediates) break;
      if (value < 100000) value = value * 10 + (b - '0');
      have_digit = true;
    } else if (b == ';' || b == ':') {
      if (intermediates) break;
      if (nparams < 16) params[nparams++] = have_digit ? value : -1;
      value = 0;
      have_digit = false;
    } else if (b >= 0x3C && b <= 0x3F) {
      break;  // a private marker in the middle: not a sequence of ours
    } else if (b == '$' && !intermediates && !priv) {
      // rxvt's Shift forms end in '$' where xterm would have an intermediate.
      if (have_digit && nparams < 16) params[nparams++] = value;
      CsiKey(s, priv, params, nparams, false, b, extra, k + 1 - start);
      return k + 1 - start;
    } else if (b >= 0x20 && b <= 0x2F) {
      intermediates = true;
    } else if (IsFinal(b)) {
      if ((have_digit || nparams > 0) && nparams < 16) params[nparams++] = have_digit ? value : -1;
      CsiKey(s, priv, params, nparams, intermediates, b, extra, k + 1 - start);
      return k + 1 - start;
    } else {
      break;  // a control byte or a non-ASCII byte cuts the sequence short
    }
  }
  if (k >= p.size() && !final_flush) return kNeedMore;
  // Cut short (or nothing more will come): the partial sequence is dropped whole and the byte
  // that interrupted it is read afresh.
  s.Drop(k - start);
  return k - start;
}

size_t ParseSs3(Sink& s, std::string_view p, size_t start, size_t i, uint8_t extra, bool final_flush) {
  long modifier = 0;
  size_t k = i;
  for (; k < p.size() && k - start <= 8; ++k) {
    uint8_t b = static_cast<uint8_t>(p[k]);
    if (b >= '0' && b <= '9') {
      modifier = modifier * 10 + (b - '0');
      continue;
    }
    if (IsFinal(b)) {
      Ss3Key(s, modifier, b, extra, k + 1 - start);
      return k + 1 - start;
    }
    break;
  }
  if (k >= p.size() && !final_flush) return kNeedMore;
  if (k == i) {
    // "ESC O" followed by something that is not a key: it was Alt+Shift+O.
    s.Key('O', static_cast<uint8_t>(kModAlt | kModShift | extra));
    return i - start;
  }
  s.Drop(k - start);
  return k - start;
}

void ControlChar(Sink& s, uint8_t b) {
  switch (b) {
    case 0x0D: return s.Char(13);
    case 0x0A: return s.Char(13, kModCtrl);  // Ctrl+Enter (or Ctrl+J): stored as LF
    case 0x09: return s.Char(9);
    case 0x7F: return s.Char(8);             // the Backspace key
    case 0x08: return s.Char(8, kModCtrl);   // Ctrl+Backspace (or Ctrl+H): stored as 127
    case 0x00: return s.Drop(1);             // Ctrl+Space: a zero would read as an extended key
    default: return s.Char(b, kModCtrl);     // Ctrl+letter and Ctrl+\ ] ^ _
  }
}

// Decodes the token at p[i]. Returns the bytes consumed (at least 1), or kNeedMore.
size_t ParseOne(Sink& s, std::string_view p, size_t i, bool final_flush) {
  uint8_t b = static_cast<uint8_t>(p[i]);
  if (b == 0x1B) {
    if (i + 1 >= p.size()) {
      if (!final_flush) return kNeedMore;
      s.Char(27);
      return 1;
    }
    uint8_t c = static_cast<uint8_t>(p[i + 1]);
    if (c == '[') return ParseCsi(s, p, i, i + 2, 0, final_flush);
    if (c == 'O') return ParseSs3(s, p, i, i + 2, 0, final_flush);
    if (c == 0x1B) {
      // rxvt sends Alt with a cursor or function key as ESC before its sequence.
      if (i + 2 >= p.size()) {
        if (!final_flush) return kNeedMore;
        s.Char(27);
        return 1;
      }
      uint8_t d = static_cast<uint8_t>(p[i + 2]);
      if (d == '[' || d == 'O') {
        size_t n = d == '[' ? ParseCsi(s, p, i, i + 3, kModAlt, final_flush)
                            : ParseSs3(s, p, i, i + 3, kModAlt, final_flush);
        return n;
      }
      s.Char(27);
      return 1;
    }
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      uint8_t mods = kModAlt;
      if (c <= 'Z') mods |= kModShift;
      s.Key(static_cast<uint16_t>(c >= 'a' ? c - 32 : c), mods);
      return 2;
    }
    if (c >= '0' && c <= '9') {
      s.Key(c, kModAlt);
      return 2;
    }
    if (c == 0x08 || c == 0x09 || c == 0x0A || c == 0x0D) {
      // Alt with Backspace, Tab or Enter: no key code (a Ctrl+Alt letter would be a wrong key here).
      s.Drop(2);
      return 2;
    }
    if (c >= 0x01 && c <= 0x1A) {
      s.Key(static_cast<uint16_t>('A' + c - 1), kModCtrl | kModAlt);
      return 2;
    }
    if ((c >= 0x20 && c <= 0x7F)) {
      s.Drop(2);  // Alt with punctuation has no key code
      return 2;
    }
    if (c >= 0x80) {
      uint32_t cp = 0;
      int n = DecodeUtf8(p, i + 1, &cp);
      if (n < 0) {
        if (!final_flush) return kNeedMore;
        s.Drop(p.size() - i);
        return p.size() - i;
      }
      if (n > 0) {
        s.Drop(1 + n);  // Alt with a non-ASCII letter has no key code
        return 1 + n;
      }
    }
    // ESC before another control byte: the Esc key, then that byte on its own.
    s.Char(27);
    return 1;
  }
  if (b < 0x20 || b == 0x7F) {
    ControlChar(s, b);
    return 1;
  }
  if (b < 0x80) {
    s.Char(b, (b >= 'A' && b <= 'Z') ? kModShift : 0);
    return 1;
  }
  uint32_t cp = 0;
  int n = DecodeUtf8(p, i, &cp);
  if (n < 0) {
    if (!final_flush) return kNeedMore;
    s.Drop(p.size() - i);
    return p.size() - i;
  }
  if (n == 0) {
    s.Drop(1);
    return 1;
  }
  int ch = cp >= 0x80 && cp < 0xA0 ? -1 : UnicodeToCp1252(cp);
  if (ch < 0x20) s.Drop(n);
  else s.Char(static_cast<uint8_t>(ch));
  return static_cast<size_t>(n);
}

// Inside a bracketed paste: collects text up to "ESC [ 201 ~". Returns bytes consumed, kNeedMore when
// the buffer ends in what may be the start of the end marker.
size_t ParsePaste(Sink& s, std::string_view p, size_t i) {
  static constexpr std::string_view kEnd = "\x1b[201~";
  size_t end = p.find(kEnd, i);
  size_t take = end == std::string_view::npos ? p.size() - i : end - i;
  if (end == std::string_view::npos) {
    // Keep back a tail that could be the start of the end marker.
    for (size_t keep = std::min(kEnd.size() - 1, take); keep > 0; --keep) {
      if (p.substr(p.size() - keep) == kEnd.substr(0, keep)) {
        take -= keep;
        break;
      }
    }
  }
  TerminalInputState* st = s.st;
  size_t room = st->paste.size() < kMaxPaste ? kMaxPaste - st->paste.size() : 0;
  st->paste.append(p.substr(i, std::min(take, room)));
  if (take > room) st->dropped += take - room;
  if (end != std::string_view::npos) {
    st->in_paste = false;
    st->last_paste = Utf8ToCp1252(st->paste);
    st->paste.clear();
    ++st->pastes;
    return take + kEnd.size();
  }
  return take == 0 ? kNeedMore : take;
}

void Run(TerminalInputState* st, std::vector<Message>* out, bool final_flush) {
  Sink s{st, out};
  std::string_view p = st->pending;
  size_t i = 0;
  while (i < p.size()) {
    if (st->in_paste) {
      size_t n = ParsePaste(s, p, i);
      if (n == kNeedMore) {
        if (!final_flush) break;
        n = p.size() - i;  // an unfinished end marker stays text of the paste
        st->paste.append(p.substr(i));
      }
      i += n;
      continue;
    }
    if (st->discarding) {
      uint8_t b = static_cast<uint8_t>(p[i]);
      if (IsFinal(b)) {
        st->discarding = false;
        ++i;
        s.Drop(1);
        continue;
      }
      if (b >= 0x20 && b < 0x7F) {
        ++i;
        s.Drop(1);
        continue;
      }
      st->discarding = false;  // a control or non-ASCII byte ends it and is read afresh
      continue;
    }
    size_t n = ParseOne(s, p, i, final_flush);
    if (n == kNeedMore) break;
    i += n;
  }
  st->pending.erase(0, i);
  if (final_flush) {
    s.Drop(st->pending.size());
    st->pending.clear();
    if (st->in_paste) {
      // The end marker never came: keep what arrived rather than taking every later key as text.
      st->in_paste = false;
      st->last_paste = Utf8ToCp1252(st->paste);
      st->paste.clear();
      ++st->pastes;
    }
  }
}

}  // namespace

void DecodeTerminalInput(TerminalInputState* st, std::string_view bytes, std::vector<Message>* out) {
  st->pending.append(bytes);
  Run(st, out, false);
}

void FlushTerminalInput(TerminalInputState* st, std::vector<Message>* out) { Run(st, out, true); }

bool TerminalInputPending(const TerminalInputState& st) { return !st.pending.empty() || st.in_paste; }

}  // namespace falatro
