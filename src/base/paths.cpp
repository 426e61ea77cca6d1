// Where the suite's files live on this system, and the one rule that maps desktop paths onto it.
#include "base/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace falatro {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string Home() {
  std::string h = Env("HOME");
  return h.empty() ? std::string("/tmp") : h;
}

bool SameNoCase(const char* a, const std::string& b) {
  size_t n = std::strlen(a);
  if (n != b.size()) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

std::string WindowsDir() {
  std::string d = Env("NARRIX_WINDIR");
  if (!d.empty()) return d;
  std::string xdg = Env("XDG_CONFIG_HOME");
  if (!xdg.empty()) return JoinPath(xdg, "narrix");
  return JoinPath(Home(), ".config/narrix");
}

std::string NarrixRoot() {
  std::string d = Env("NARRIX_ROOT");
  if (!d.empty()) return d;
  return JoinPath(Home(), ".local/share/narrix");
}

std::string MapPath(const std::string& path) {
  std::string rest;
  bool rooted = false;
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    rest = path.substr(2);
    rooted = true;
  } else if (!path.empty() && path[0] == '\\') {
    rest = path;
    rooted = true;
  } else {
    rest = path;
  }
  for (char& c : rest)
    if (c == '\\') c = '/';
  if (!rooted) return rest;
  // "c:" alone or "c:name" (no separator) still means the root of the drive.
  while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  return rest.empty() ? NarrixRoot() : JoinPath(NarrixRoot(), rest);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FindFileNoCase(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) == 0) return path;
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return path;
  // The directory part may itself differ in case (a settings file naming "\Zanvel\Som\").
  std::string real_dir = dir;
  if (!DirectoryExists(dir) && dir != "." && dir != "/") {
    std::string found = FindFileNoCase(dir);
    if (!DirectoryExists(found)) return path;
    real_dir = found;
  }
  DIR* d = opendir(real_dir.c_str());
  if (!d) return path;
  std::string result = path;
  while (dirent* e = readdir(d)) {
    if (SameNoCase(e->d_name, name)) {
      result = slash == std::string::npos ? std::string(e->d_name) : JoinPath(real_dir, e->d_name);
      break;
    }
  }
  closedir(d);
  return result;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (name.empty()) return dir;
  bool ds = dir.back() == '/';
  bool ns = name.front() == '/';
  if (ds && ns) return dir + name.substr(1);
  if (ds || ns) return dir + name;
  return dir + "/" + name;
}

bool MakeDirectories(const std::string& path, std::string* error) {
  if (path.empty() || DirectoryExists(path)) return true;
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeDirectories(path.substr(0, slash), error)) return false;
  }
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace falatro
