// Start-up and the main menu.
#include "app/main_menu.h"

#include "app/channel.h"
#include "app/channel_list.h"
#include "app/client_state.h"
#include "app/dispatcher.h"
#include "app/login.h"
#include "app/prompt_catalogue.h"
#include "app/server_connection.h"
#include "app/server_link.h"
#include "app/settings_file.h"
#include "base/event_loop.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "console/screen_reader.h"
#include "net/transport.h"
#include "speech/line_editor.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"

namespace falatro {

MainMenuState Menu;

const char* const kBannerLines[6] = {
    "#####   ###   #       ###   #####  ####    ###  ",
    "#      #   #  #      #   #    #    #   #  #   # ",
    "####   #   #  #      #   #    #    #   #  #   # ",
    "#      #####  #      #####    #    ####   #   # ",
    "#      #   #  #      #   #    #    #  #   #   # ",
    "#      #   #  #####  #   #    #    #   #   ###  ",
};

namespace {

constexpr const char* kDefaultSoundDir = "c:\\zanvel\\som\\falatro";
constexpr int kMenuLineSeconds = 15;

struct Credit {
  int column;
  int row;
  const char* text;
};
const Credit kCredits[] = {
    {52, 1, "Desenvolvido por Caio Lemos"},
    {58, 3, "Colabora\xE7\xF5" "es:"},
    {52, 4, "Ana Ribas (Voz)"},
    {52, 5, "Davi Prado ( Programa\xE7\xE3o)"},
    {52, 6, "Ieda Moura (Testes)"},
};

void WriteAt(int column, int row, std::string_view text) {
  GotoXY(column, row);
  WriteConsoleText(text.data(), static_cast<uint16_t>(text.size()));
}

char UpperAscii(uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : static_cast<char>(c); }

void AskChannel() {
  if (Client.ServerSocket <= 0) {
    SayPrompt("FTNAOCON", 1);
    return;
  }
  Client.CurrentChannel.clear();
  SayPrompt("FTCANAL", 0);
  ReadLineSpoken(Client.CurrentChannel);
  // The client puts the "#" itself; one typed out of habit would name another channel ("##sala").
  Client.CurrentChannel.erase(0, Client.CurrentChannel.find_first_not_of('#'));
  if (Client.CurrentChannel.empty()) return;
  if (Menu.join_channel) {
    Menu.join_channel(Client.CurrentChannel);
  } else {
    JoinChannel(Client.CurrentChannel);
  }
}

}  // namespace

void ReviewClientScreen() {
  PlayBeep();
  // The cursor goes back to the same place on the screen: the menu's window starts below the banner,
  // and the review leaves the window at rows 1 to 24, so the row is counted from the screen's top.
  const int x = WhereX() + Crt.TextWindow.Left;
  const int y = WhereY() + Crt.TextWindow.Top;
  Window(1, 1, 80, 24);
  ScreenReview();
  GotoXY(x, y);
}

void InitClient() {
  ClrScr();
  SetConsoleTitle("Falatro");
  for (std::string& slot : Client.IgnoreList) slot.clear();
  Client.ServerPort = kIrcPort;
  Client.ServerSocket = 0;
  Client.ConfigPath.clear();
  std::string sound_dir = ReadSuiteSetting("FALATRO", "DIRFALATRO");
  if (sound_dir.empty()) sound_dir = kDefaultSoundDir;
  InitSpeech(0, sound_dir);
  Client.PunctuationOn = false;
  Speech.SpeakPunctuationMarks = false;
  LoadTextEncodingSetting();
  Transport.timeout_setting = [] { return ReadSuiteSetting("NARRIX", "TIMEOUT_REDE"); };
  InitTlsLayer();
  LoadClientSettings();
}

void DrawBanner() {
  TextBackground(1);
  for (int row = 0; row < 6; ++row) WriteAt(1, row + 1, kBannerLines[row]);
  TextBackground(0);
  TextColor(7);
  for (const Credit& c : kCredits) WriteAt(c.column, c.row, c.text);
  GotoXY(1, 7);
}

void ShowMainHelp() {
  for (const char* key : {"FTAC", "FTAJ", "FTAL", "FTAM", "FTAO", "FTAR", "FTAF9", "FTAESC"})
    SayPrompt(key, 1);
}

void HandlePendingServerLines() {
  while (Client.ServerSocket > 0 && ServerDataWaiting()) {
    if (!ReadServerLine(&Client.CurrentMessage, kMenuLineSeconds)) {
      ConnectionLost();
      return;
    }
    ++Menu.lines_handled;
    HandleServerLine(Client.CurrentMessage);
  }
}

void WaitForMenuKey() {
  while (!KeyPressed()) {
    if (Client.ServerSocket <= 0) return;
    if (ServerDataWaiting()) {
      if (!ReadServerLine(&Client.CurrentMessage, kMenuLineSeconds)) {
        ConnectionLost();
        continue;
      }
      ++Menu.lines_handled;
      HandleServerLine(Client.CurrentMessage);
      continue;
    }
    if (KeyPressed()) break;
    // Sleep until a key (or any message) comes, or the server sends something: an idle user must
    // still answer the server's PINGs and hear private messages at once.
    ++Menu.wait_wakeups;
    WaitForFd(Client.ServerSocket, -1, true);
  }
}

void ConfirmQuit() {
  SayPrompt("FTFIM", 0);
  uint8_t key = ReadKey();
  if (key == 0) {
    ReadKey();  // the second byte of an extended key: no answer
  } else {
    const char one = static_cast<char>(key);
    SpeakText(std::string_view(&one, 1));
  }
  ConsoleWriteLn();
  if (key == 'S' || key == 's') {
    SayPrompt("FTTCHAU", 0);
    Delay(500);
    DoneConsole();
  }
}

void HandleMenuKey(uint8_t key, uint8_t ext) {
  if (key == 0) {
    if (ext == 59) {
      ShowMainHelp();
    } else if (ext == 67) {
      ReviewClientScreen();
    }
    return;
  }
  if (ext != 32) {
    // A key read after an Alt prefix is no menu key.
    SayPrompt("FTOPINV", 1);
    return;
  }
  switch (UpperAscii(key)) {
    case 27: ConfirmQuit(); break;
    case 'C':
      SayPrompt("FTCONECT", 1);
      ConnectToServer();
      break;
    case 'J': AskChannel(); break;
    case 'L':
      if (Menu.browse_channel_list) {
        Menu.browse_channel_list();
      } else {
        BrowseChannelList();
      }
      break;
    case 'M':
      if (Menu.send_private_message) {
        Menu.send_private_message();
      } else {
        SendPrivateMessage();
      }
      break;
    case 'O': ConfigureClient(); break;
    case 'R': RegisterNickname(); break;
    default: SayPrompt("FTOPINV", 1); break;
  }
}

void MainMenuPass() {
  Client.CurrentChannel.clear();
  HandlePendingServerLines();
  while (KeyPressed()) ReadKey();
  TextColor(15);
  TextBackground(1);
  SayPrompt("FTOPCAO", 0);
  TextBackground(0);
  WaitForMenuKey();
  uint8_t key = 0, ext = 0;
  ReadKeySpoken(key, ext);
  ConsoleWriteLn();
  HandleMenuKey(key, ext);
}

void MainMenu() {
  DrawBanner();
  SayPrompt("FTINIC", 0);
  WriteLnSpoken(kClientVersion);
  Window(1, 8, 80, 24);
  for (;;) MainMenuPass();
}

}  // namespace falatro
