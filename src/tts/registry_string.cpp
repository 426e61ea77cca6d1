// The one registry value the suite reads, answered from where MBROLA voices live on this system.
#include "tts/registry_string.h"

#include <cctype>
#include <vector>

#include "base/paths.h"

namespace falatro {

namespace {

std::string VoicesDir = "/usr/share/mbrola";

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (toupper(static_cast<unsigned char>(a[i])) != toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// dir/name/name... with each step found without letter case; empty when a step is missing.
std::string FindBelow(const std::string& dir, const std::vector<std::string>& steps) {
  std::string path = dir;
  for (const auto& step : steps) {
    path = FindFileNoCase(JoinPath(path, step));
    if (!FileExists(path) && !DirectoryExists(path)) return "";
  }
  return path;
}

}  // namespace

void SetMbrolaVoicesDir(const std::string& dir) { VoicesDir = dir; }

bool ReadRegistryString(const std::string& root, const std::string& path, std::string* value) {
  size_t cut = path.rfind('\\');
  if (cut == std::string::npos) return false;
  std::string key = path.substr(0, cut);
  // Only the default value (empty value name) of a database key exists.
  if (cut + 1 != path.size() || !SameNoCase(root, kLocalMachine)) return false;
  std::string prefix = kMbrolaDatabasesKey;
  prefix.pop_back();  // the key without its trailing "\"
  if (key.size() <= prefix.size() + 1 || !SameNoCase(key.substr(0, prefix.size()), prefix) ||
      key[prefix.size()] != '\\') {
    return false;
  }
  std::string name = key.substr(prefix.size() + 1);
  if (name.find('\\') != std::string::npos || name == "." || name == "..") return false;
  std::string found = FindBelow(VoicesDir, {name, name});
  if (found.empty() || DirectoryExists(found)) {
    found = FindBelow(VoicesDir, {name});
    if (!found.empty() && DirectoryExists(found)) found.clear();
  }
  if (found.empty()) {
    found = FindBelow(JoinPath(NarrixRoot(), "zanvel/velartts"), {name});
    if (!found.empty() && DirectoryExists(found)) found.clear();
  }
  if (found.empty()) return false;
  *value = found;
  return true;
}

}  // namespace falatro
