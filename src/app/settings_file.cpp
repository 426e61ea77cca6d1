// The client's settings file: locating, reading by prefix rules, and rewriting it whole.
#include "base/text_lines.h"
#include "app/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "base/paths.h"
#include "net/server_address.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "speech/line_editor.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"

namespace falatro {

namespace {

constexpr uint16_t kPlainInputCapacity = 258;  // room for 255 characters, CR and LF
constexpr size_t kMaxSettingsFileBytes = 1 << 20;

// The value after the "=", without the blanks and tabs around it: a server name written as
// "Servidor = host " is the host.
std::string ValueAfterEquals(std::string_view line) {
  const size_t eq = line.find('=');
  std::string_view value = eq == std::string_view::npos ? line : line.substr(eq + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
    value.remove_suffix(1);
  return std::string(value);
}


std::string ParentDir(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t r = write(fd, data.data() + done, data.size() - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    done += static_cast<size_t>(r);
  }
  return true;
}

}  // namespace

void ApplySettingsLine(std::string_view line) {
  if (line.substr(0, 8) == "Servidor") {
    Client.ServerName = ValueAfterEquals(line);
  } else if (line.substr(0, 4) == "Nick") {
    Client.Nickname = ValueAfterEquals(line);
  } else if (line.substr(0, 5) == "Senha") {
    Client.Password = ValueAfterEquals(line);
  }
}

void ApplySettingsText(std::string_view text) {
  ForEachLine(text, [](std::string_view line) { ApplySettingsLine(line); });
}

bool ReadSettingsFile(const std::string& path) {
  std::ifstream in(FindFileNoCase(path), std::ios::binary);
  if (!in) return false;
  // The file holds three short lines; anything past the first mebibyte is not a settings file's.
  std::string data(kMaxSettingsFileBytes, '\0');
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<size_t>(in.gcount()));
  ApplySettingsText(data);
  return true;
}

std::string SettingsFileText() {
  return "[Falatro]\r\nServidor=" + Client.ServerName + "\r\nNick=" + Client.Nickname +
         "\r\nSenha=" + Client.Password + "\r\n";
}

bool WriteSettingsFile(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  };
  if (path.empty()) {
    errno = ENOENT;
    return fail("no settings path");
  }
  const std::string dir = ParentDir(path);
  if (!dir.empty() && !DirectoryExists(dir) && !MakeDirectories(dir, error)) return false;
  // The new file is written beside the old one and takes its place only when complete, so a failed
  // write never loses the settings already saved. Mode 0600: it holds the password.
  const std::string temp = path + ".novo";
  unlink(temp.c_str());
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return fail("cannot create " + temp);
  const bool written = WriteAll(fd, SettingsFileText());
  const bool synced = written && fsync(fd) == 0;
  if (close(fd) != 0 || !synced) {
    unlink(temp.c_str());
    return fail("cannot write " + temp);
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    unlink(temp.c_str());
    errno = saved;
    return fail("cannot replace " + path);
  }
  return true;
}

void LoadClientSettings() {
  std::string configured = ReadSuiteSetting("FALATRO", "ARQCONF");
  if (configured.empty()) configured = kDefaultConfigPath;
  Client.ConfigPath = MapPath(configured);
  if (!FileExists(FindFileNoCase(Client.ConfigPath))) {
    Client.ConfigPath = MapPath(kFallbackConfigPath);
    if (!FileExists(FindFileNoCase(Client.ConfigPath))) {
      SayPrompt("FTINIC", 0);
      WriteLnSpoken(kClientVersion);
      ConsoleWriteLn();
      ConfigureClient();
      return;  // the values just typed are in effect, whether or not the file could be written
    }
  }
  ReadSettingsFile(Client.ConfigPath);
}

void ConfigureClient() {
  SayPrompt("FTCONFS", 1);
  SayPrompt("FTSERV", 0);
  Client.ServerName.clear();
  ReadLineSpoken(Client.ServerName);
  // Kept as typed all the same: the user hears at once what the connection would refuse.
  ServerAddress server;
  if (!Client.ServerName.empty() && !ParseServerAddress(Client.ServerName, &server))
    WriteLnSpoken("Servidor inv\xE1lido: " + Client.ServerName);
  SayPrompt("FTNICK", 0);
  Client.Nickname.clear();
  ReadLineSpoken(Client.Nickname);
  SayPrompt("FTSENHA", 0);
  Client.Password = ConsoleReadLine(kPlainInputCapacity);
  // An existing file under another letter case is the one to replace.
  std::string path = FindFileNoCase(Client.ConfigPath);
  if (path.empty()) path = Client.ConfigPath;
  if (!WriteSettingsFile(path)) SayPrompt("FTNAOC", 1);
}

}  // namespace falatro
