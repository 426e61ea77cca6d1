// Laying the voice's files under the suite root without ever overwriting what a user put there.
#include "install_tree.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/paths.h"

namespace falatro {

std::string ContentHash(const std::vector<uint8_t>& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : bytes) {
    h ^= b;
    h *= 1099511628211ull;
  }
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && !MakeDirectories(path.substr(0, slash), error)) return false;
  std::string temp = path + ".tmp-" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out || !out.flush()) {
      if (error) *error = "cannot write " + temp;
      unlink(temp.c_str());
      return false;
    }
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot rename " + temp + " to " + path;
    unlink(temp.c_str());
    return false;
  }
  return true;
}

std::map<std::string, std::string> ReadManifest(const std::string& root) {
  std::map<std::string, std::string> manifest;
  std::ifstream in(JoinPath(root, kManifestName));
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 18 || line[16] != ' ') continue;
    std::string hash = line.substr(0, 16), path = line.substr(17);
    if (hash.find_first_not_of("0123456789abcdef") != std::string::npos) continue;
    if (path.empty() || path[0] == '/' || path.find("..") != std::string::npos) continue;
    manifest[path] = hash;
  }
  return manifest;
}

namespace {

// A file beside path whose name differs from path's only in letter case. The program finds its files
// whatever their case, so such a file is one the user put there in place of the voice's own.
bool OtherCaseVariantExists(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  bool found = false;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (strcasecmp(e->d_name, name.c_str()) == 0 && name != e->d_name) found = true;
    closedir(d);
  }
  return found;
}

bool WriteManifest(const std::string& root, const std::map<std::string, std::string>& manifest,
                   std::string* error) {
  std::string text = "";
  for (const auto& [path, hash] : manifest) text += hash + " " + path + "\n";
  return WriteFileAtomically(JoinPath(root, kManifestName), std::vector<uint8_t>(text.begin(), text.end()),
                             error);
}

}  // namespace

bool InstallFiles(const std::string& root, const std::vector<InstallFile>& files, InstallReport* report,
                  std::string* error) {
  std::map<std::string, std::string> old = ReadManifest(root);
  std::map<std::string, std::string> now;
  bool ok = true;
  for (const auto& f : files) {
    std::string path = JoinPath(root, f.Path);
    std::string fresh = ContentHash(f.Bytes);
    std::vector<uint8_t> present;
    auto listed = old.find(f.Path);
    if (OtherCaseVariantExists(path)) {
      // The user's recording under another case: the voice's own copy would hide it, so it goes.
      if (listed != old.end() && ReadWholeFile(path, &present) && ContentHash(present) == listed->second)
        unlink(path.c_str());
      ++report->Kept;
      report->KeptPaths.push_back(f.Path);
      continue;
    }
    if (!FileExists(path)) {
      if (!WriteFileAtomically(path, f.Bytes, error)) { ok = false; break; }
      now[f.Path] = fresh;
      ++report->Written;
      continue;
    }
    bool own = listed != old.end() && ReadWholeFile(path, &present) && ContentHash(present) == listed->second;
    if (!own) {
      ++report->Kept;
      report->KeptPaths.push_back(f.Path);
      continue;
    }
    if (listed->second == fresh) {
      ++report->Unchanged;
    } else {
      if (!WriteFileAtomically(path, f.Bytes, error)) { ok = false; break; }
      ++report->Regenerated;
    }
    now[f.Path] = fresh;
  }
  if (ok) {
    std::map<std::string, bool> provided;
    for (const auto& f : files) provided[f.Path] = true;
    for (const auto& [rel, hash] : old) {
      if (provided.count(rel)) continue;
      std::string path = JoinPath(root, rel);
      std::vector<uint8_t> present;
      if (ReadWholeFile(path, &present) && ContentHash(present) == hash && unlink(path.c_str()) == 0)
        ++report->Removed;
    }
  } else {
    // Keep listing what was installed before the failure, so a later run still knows its own files.
    for (const auto& [rel, hash] : old)
      if (!now.count(rel)) {
        std::vector<uint8_t> present;
        if (ReadWholeFile(JoinPath(root, rel), &present) && ContentHash(present) == hash) now[rel] = hash;
      }
  }
  std::string manifest_error;
  if (!WriteManifest(root, now, &manifest_error)) {
    if (ok && error) *error = manifest_error;
    return false;
  }
  return ok;
}

std::string SetIniValue(const std::string& ini_text, const std::string& section, const std::string& key,
                        const std::string& value) {
  auto trimmed = [](std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
  };
  auto same = [](std::string_view a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
  };
  const std::string line = key + "=" + value + "\r\n";
  bool in_section = false;
  size_t section_body = std::string::npos;
  for (size_t at = 0; at < ini_text.size();) {
    size_t end = ini_text.find('\n', at);
    end = end == std::string::npos ? ini_text.size() : end + 1;
    std::string_view text = trimmed(std::string_view(ini_text).substr(at, end - at));
    if (!text.empty() && text.back() == '\n') text = trimmed(text.substr(0, text.size() - 1));
    if (!text.empty() && text.front() == '[') {
      if (in_section) break;
      in_section = text.back() == ']' && same(trimmed(text.substr(1, text.size() - 2)), section);
      if (in_section) section_body = end;
    } else if (in_section) {
      size_t eq = text.find('=');
      if (eq != std::string_view::npos && same(trimmed(text.substr(0, eq)), key))
        return ini_text.substr(0, at) + line + ini_text.substr(end);
    }
    at = end;
  }
  if (section_body != std::string::npos) return ini_text.substr(0, section_body) + line + ini_text.substr(section_body);
  std::string out = ini_text;
  if (!out.empty() && out.back() != '\n') out += "\r\n";
  return out + "[" + section + "]\r\n" + line;
}

bool InstallSuiteIni(const std::string& windows_dir, const std::string& ini_text, bool* written,
                     std::string* error) {
  *written = false;
  if (!MakeDirectories(windows_dir, error)) return false;
  if (DIR* d = opendir(windows_dir.c_str())) {
    bool found = false;
    while (dirent* e = readdir(d))
      if (strcasecmp(e->d_name, "NARRIX.INI") == 0) found = true;
    closedir(d);
    if (found) return true;
  } else {
    if (error) *error = "cannot read the directory " + windows_dir;
    return false;
  }
  if (!WriteFileAtomically(JoinPath(windows_dir, "NARRIX.INI"),
                           std::vector<uint8_t>(ini_text.begin(), ini_text.end()), error))
    return false;
  *written = true;
  return true;
}

}  // namespace falatro
