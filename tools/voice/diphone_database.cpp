// Writing and checking the diphone database: the ".IND" index of 15-byte records and the ".DIF" sound data.
#include "diphone_database.h"

#include <cstring>

namespace falatro {

namespace {
constexpr size_t kRecord = 15;
}

bool BuildDiphoneDatabase(const std::map<std::string, std::vector<uint8_t>>& units, DiphoneDatabaseFiles* out,
                          std::string* error) {
  out->Index.clear();
  out->Data.clear();
  // std::map orders std::string keys as unsigned bytes, the order the synthesizer's bisection uses.
  for (const auto& [name, sound] : units) {
    if (name.empty() || name.size() > 8) {
      if (error) *error = "unit name \"" + name + "\" is not 1 to 8 bytes";
      return false;
    }
    for (char c : name)
      if (c >= 'a' && c <= 'z') {
        if (error) *error = "unit name \"" + name + "\" is not upper case";
        return false;
      }
    if (sound.size() > kMaxUnitBytes) {
      if (error) *error = "unit " + name + " holds more than 65535 bytes";
      return false;
    }
    if (out->Data.size() + sound.size() > 0x7FFFFFFFu) {
      if (error) *error = "the database would pass 2 GiB";
      return false;
    }
    uint8_t rec[kRecord] = {};
    rec[0] = uint8_t(name.size());
    memcpy(rec + 1, name.data(), name.size());
    rec[9] = uint8_t(sound.size());
    rec[10] = uint8_t(sound.size() >> 8);
    uint32_t offset = uint32_t(out->Data.size());
    for (int i = 0; i < 4; ++i) rec[11 + i] = uint8_t(offset >> (8 * i));
    out->Index.insert(out->Index.end(), rec, rec + kRecord);
    out->Data.insert(out->Data.end(), sound.begin(), sound.end());
  }
  return true;
}

bool CheckDiphoneDatabase(const std::vector<uint8_t>& index, uint64_t data_size, std::string* error) {
  if (index.size() % kRecord != 0) {
    if (error) *error = "the index is not a whole number of 15-byte records";
    return false;
  }
  std::string previous;
  for (size_t i = 0; i * kRecord < index.size(); ++i) {
    const uint8_t* r = index.data() + i * kRecord;
    std::string where = "record " + std::to_string(i) + ": ";
    if (r[0] < 1 || r[0] > 8) {
      if (error) *error = where + "name length " + std::to_string(r[0]) + " outside 1..8";
      return false;
    }
    std::string name(reinterpret_cast<const char*>(r + 1), r[0]);
    if (i > 0 && !(previous < name)) {
      if (error) *error = where + name + " does not come after " + previous;
      return false;
    }
    uint64_t length = uint64_t(r[9]) | (uint64_t(r[10]) << 8);
    int32_t offset = int32_t(uint32_t(r[11]) | (uint32_t(r[12]) << 8) | (uint32_t(r[13]) << 16) |
                             (uint32_t(r[14]) << 24));
    if (offset < 0 || uint64_t(offset) + length > data_size) {
      if (error) *error = where + name + " lies outside the data file";
      return false;
    }
    previous = name;
  }
  return true;
}

std::vector<std::string> DiphoneUnitNames(const std::vector<uint8_t>& index) {
  std::vector<std::string> names;
  for (size_t i = 0; (i + 1) * kRecord <= index.size(); ++i) {
    const uint8_t* r = index.data() + i * kRecord;
    names.emplace_back(reinterpret_cast<const char*>(r + 1), r[0] > 8 ? 8 : r[0]);
  }
  return names;
}

}  // namespace falatro
