// Diphone databases made to order for tests and benchmarks: index records and unit names.
#include "diphone_record.h"

#include <algorithm>
#include <cstring>

#include "speech/wave_format.h"

namespace falatro::testsupport {

std::string DiphoneIndexRecord(std::string_view name, uint16_t length, uint32_t offset, int name_length) {
  char rec[15] = {};
  rec[0] = static_cast<char>(name_length < 0 ? static_cast<int>(name.size()) : name_length);
  std::memcpy(rec + 1, name.data(), std::min<size_t>(8, name.size()));
  WriteLe16(reinterpret_cast<uint8_t*>(rec + 9), length);
  WriteLe32(reinterpret_cast<uint8_t*>(rec + 11), offset);
  return std::string(rec, sizeof rec);
}

std::vector<std::string> SymbolPairUnitNames(const std::vector<std::string>& symbols) {
  std::vector<std::string> names;
  for (const std::string& a : symbols) {
    names.push_back("$" + a);
    for (const std::string& b : symbols) {
      std::string n = "$" + a + b;
      if (n.size() <= 8) names.push_back(n);
    }
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

}  // namespace falatro::testsupport
