// The voice builder's list files.
#include "name_value_file.h"

#include <fstream>

namespace falatro {

namespace {

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

}  // namespace

bool ReadNameValueFile(const std::string& path, const std::function<std::string(const NameValueLine&)>& take,
                       std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    NameValueLine entry;
    const size_t eq = t.find('=');
    entry.HasEquals = eq != std::string::npos;
    entry.Name = Trim(t.substr(0, eq));
    if (entry.HasEquals) entry.Value = Trim(t.substr(eq + 1));
    entry.Where = path + ":" + std::to_string(number) + ": ";
    const std::string problem = take(entry);
    if (!problem.empty()) {
      if (error) *error = problem;
      return false;
    }
  }
  return true;
}

}  // namespace falatro
