// The channel's function keys.
#include "app/channel_keys.h"
#include "app/main_menu.h"

#include <string>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "console/nxcrt.h"
#include "console/screen_reader.h"
#include "net/transport.h"
#include "speech/line_editor.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"

namespace falatro {

namespace {

constexpr uint8_t kF1 = 59, kF2 = 60, kF3 = 61, kF4 = 62, kF5 = 63, kF6 = 64, kF7 = 65, kF9 = 67;
constexpr uint8_t kShiftInsert = 254, kCtrlInsert = 255;

// Asks which memory; -1 when the answer is empty or not within 0..255.
int AskMemorySlot() {
  SayPrompt("FTQMEMO", 0);
  int slot = -1;
  ReadNumberSpoken(slot);
  return slot >= 0 && slot < kNicknameMemorySlots ? slot : -1;
}

void RememberNickname() {
  const int slot = AskMemorySlot();
  if (slot < 0) return;
  SayPrompt("FTQAPEL", 0);
  ReadLineSpoken(Client.NicknameMemory[slot]);
  PlayClick();
}

void InsertNickname() {
  const int slot = AskMemorySlot();
  if (slot < 0) return;
  const std::string text = Client.NicknameMemory[slot] + " ";
  if (Client.TypedLine.size() + text.size() > kTypedLineMax) {
    PlayBeep();
    return;
  }
  Client.TypedLine += text;
  RedrawTypedLine();
  PlayClick();
}

void SwitchPunctuation() {
  Client.PunctuationOn = !Client.PunctuationOn;
  Speech.SpeakPunctuationMarks = Client.PunctuationOn;
  const int x = WhereX();
  const int y = WhereY();
  // The notice goes on the row below the conversation, which the channel's window leaves alone.
  Window(1, 1, 80, 25);
  GotoXY(1, 25);
  ClrEol();
  SayPrompt(Client.PunctuationOn ? "FTPLIG" : "FTPDES", 0);
  Window(1, 1, 80, 24);
  GotoXY(x, y);
}

}  // namespace

void ShowChannelHelp() {
  for (const char* key : {"FTAF2", "FTAF3", "FTAF4", "FTAF6", "FTAF9", "FTAESC2"}) SayPrompt(key, 1);
}

void ChangeSpeechSettings() {
  uint8_t key = 0, ext = 0;
  SayPrompt("FTQVELOC", 0);
  ReadKeySpoken(key, ext);
  ConsoleWriteLn();
  if (key >= '1' && key <= '5') {
    std::string dir = ReadSuiteSetting("FALATRO", "DIRFALATRO");
    // Without the setting the prompts keep the directory they were found in at start-up.
    if (dir.empty()) dir = Speech.ProgramSoundDir;
    DoneSpeech();
    InitSpeech(key - '0', dir);
  }
  SayPrompt("FTSOLET", 0);
  ReadKeySpoken(key, ext);
  ConsoleWriteLn();
  Client.SpellTyping = !(key == 'N' || key == 'n');
}

void SayLocalAddress() {
  const std::string address = LocalAddressText(Client.ServerSocket > 0 ? Client.ServerSocket : -1);
  SayPrompt("FTNUMIP", 1);
  WriteLnSpoken(address);
}

void HandleChannelFunctionKey(uint8_t code) {
  if ((code == kF2 || code == kF3 || code == kF5) && WhereX() != 1) HandleTypedKey(13);
  switch (code) {
    case kF1: ShowChannelHelp(); break;
    case kF2: RememberNickname(); break;
    case kF3: InsertNickname(); break;
    case kF4: ChangeSpeechSettings(); break;
    case kF6: SayLocalAddress(); break;
    case kF7: SwitchPunctuation(); break;
    case kF9: ReviewClientScreen(); break;
    case kShiftInsert: HandleTypedKey(254); break;
    case kCtrlInsert: HandleTypedKey(255); break;
    default: SayPrompt("FTOPINV", 1); break;
  }
}

}  // namespace falatro
