// Writing and checking the diphone database: the ".IND" index of 15-byte records and the ".DIF" sound data.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace falatro {

/// The two files of one database.
struct DiphoneDatabaseFiles {
  std::vector<uint8_t> Index;  ///< ".IND": records sorted by name in byte order
  std::vector<uint8_t> Data;   ///< ".DIF": the units' 8-bit samples one after another
};

/// Longest sound one unit may hold (its length field has 16 bits).
constexpr size_t kMaxUnitBytes = 65535;

/// Builds the database from unit name -> 8-bit samples. Names are upper case, 1 to 8 bytes; each
/// unit's sound is stored once, in name order. Returns false and sets *error for a name that is empty,
/// longer than 8 bytes or holds a lower-case letter, for a unit longer than kMaxUnitBytes, or when
/// the data would pass 2 GiB.
bool BuildDiphoneDatabase(const std::map<std::string, std::vector<uint8_t>>& units, DiphoneDatabaseFiles* out,
                          std::string* error);

/// Checks a database as the synthesizer will read it: whole 15-byte records, name lengths 1..8, names
/// strictly ascending in byte order (so bisection finds each), every unit inside the data file.
/// Returns false and sets *error naming the first fault.
bool CheckDiphoneDatabase(const std::vector<uint8_t>& index, uint64_t data_size, std::string* error);

/// Unit names of an index, in stored order.
std::vector<std::string> DiphoneUnitNames(const std::vector<uint8_t>& index);

}  // namespace falatro
