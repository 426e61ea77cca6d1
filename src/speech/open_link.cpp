// Opening links and files from the line editor: the configured program, started directly with an
// argument vector so that no text typed or received can become a command.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "base/paths.h"
#include "speech/line_editor.h"
#include "speech/suite_settings.h"

extern char** environ;

namespace falatro {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

bool HasDrivePrefix(std::string_view text) {
  return text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
}

// A file name given to a program as its argument: a settings-style path mapped onto this system, and
// never one that the program could take for an option.
std::string FileArgument(const std::string& text) {
  std::string path = MapPath(text);
  if (!path.empty() && path[0] == '-') path = "./" + path;
  return path;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return ".";
  return buffer.data();
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

void ReapChildren() {
  auto& kids = Editor.Children;
  kids.erase(std::remove_if(kids.begin(), kids.end(),
                            [](int pid) { return waitpid(pid, nullptr, WNOHANG) != 0; }),
             kids.end());
}

// Starts argv[0] with argv, detached from the console: its own session, standard files on /dev/null
// (it must not draw over the terminal), default signal handling. Returns the process id, 0 on failure.
int Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD, SIGTSTP, SIGTTIN, SIGTTOU, SIGWINCH,
                SIGALRM, SIGUSR1, SIGUSR2})
    sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const bool search = args[0].find('/') == std::string::npos;
  const int rc = search ? posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ)
                        : posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? static_cast<int>(pid) : 0;
}

}  // namespace

bool OpenLinkOrFile(std::string_view text_view) {
  ReapChildren();
  Editor.LastLaunch.clear();
  Editor.LastLaunchPid = 0;
  const std::string text(text_view);
  if (text.empty() || text.find('\0') != std::string::npos) return false;

  std::vector<std::string> args;
  if (StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://") ||
      StartsWithNoCase(text, "www.")) {
    const std::string program = ReadSuiteSetting("NARRIX", "PROG.HTM");
    if (!program.empty()) {
      args = {MapPath(program), text};
    } else {
      // The desktop's opener takes a bare "www." name for a file; it is a web address.
      args = {Editor.DefaultOpener, StartsWithNoCase(text, "www.") ? "http://" + text : text};
    }
  } else {
    const size_t dot = text.find('.');
    std::string ext = dot == std::string::npos ? std::string() : text.substr(dot + 1, 3);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext != "EXE" && ext != "COM") {
      const std::string program = ReadSuiteSetting("NARRIX", "PROG." + ext);
      if (!program.empty()) args = {MapPath(program), FileArgument(text)};
      else args = {Editor.DefaultOpener, FileArgument(text)};
    } else {
      std::string path;
      if (HasDrivePrefix(text) || text[0] == '\\' || text[0] == '/') {
        path = MapPath(text);
      } else {
        std::string dir = CurrentDirectory();
        if (dir.empty() || dir.back() != '/') dir += '/';
        path = dir + MapPath(text);
      }
      if (!IsExecutableFile(path)) return false;
      args = {path};
    }
  }
  if (args[0].empty()) return false;

  WaitWhileSoundPlaying();
  const int pid = Spawn(args);
  WaitWhileSoundPlaying();
  if (pid == 0) return false;
  Editor.LastLaunch = args;
  Editor.LastLaunchPid = pid;
  Editor.Children.push_back(pid);
  return true;
}

}  // namespace falatro
