// The one registry value the suite reads: where an MBROLA voice database lives.
#pragma once

#include <string>

namespace falatro {

constexpr const char* kLocalMachine = "HKEY_LOCAL_MACHINE";
/// Key path of the MBROLA databases; the database name and a "\" follow.
constexpr const char* kMbrolaDatabasesKey = "SOFTWARE\\TCTS\\Mbrola\\databases\\";

/// Reads a string value: path is split at its last "\" into key and value name (no "\": false). Only
/// the MBROLA database keys under HKEY_LOCAL_MACHINE have values here, each the path of database NAME
/// (the last component of the key, any letter case): /usr/share/mbrola/NAME/NAME, else
/// /usr/share/mbrola/NAME, else $NARRIX_ROOT/zanvel/velartts/NAME, the first that exists (file names
/// found without letter case). Anything else is not found (false, value untouched).
bool ReadRegistryString(const std::string& root, const std::string& path, std::string* value);

/// Where the system's MBROLA voices are looked for ("/usr/share/mbrola"); tests point it elsewhere.
void SetMbrolaVoicesDir(const std::string& dir);

}  // namespace falatro
