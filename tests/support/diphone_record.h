// Diphone databases made to order for tests and benchmarks: index records and unit names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace falatro::testsupport {

/// One 15-byte index record: the name's length byte (name_length, or name.size() when negative: tests
/// give wrong ones on purpose), the name's first 8 bytes, the unit's length in bytes (LE16) and its
/// offset in the data file (LE32).
std::string DiphoneIndexRecord(std::string_view name, uint16_t length, uint32_t offset,
                               int name_length = -1);

/// "$" + each symbol and "$" + each ordered pair of symbols, where that fits the 8 bytes of a record's
/// name; sorted by name and without repeats, as an index lists them.
std::vector<std::string> SymbolPairUnitNames(const std::vector<std::string>& symbols);

}  // namespace falatro::testsupport
