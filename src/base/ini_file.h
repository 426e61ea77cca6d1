// Profile-string files (section/key INI files) read with the desktop profile rules.
#pragma once

#include <cstddef>
#include <string>

namespace falatro {

/// Reads key of section from the INI file at path. Sections and keys match without letter case; the
/// first match wins; values are trimmed of blanks; ";" lines are comments; CR LF or LF line ends.
/// Returns false (out untouched) when the file, section or key is missing. The value is cut to
/// capacity - 1 bytes (capacity 0 gives an empty value), never more.
bool ReadProfileValue(const std::string& path, const std::string& section, const std::string& key,
                      std::string* out, size_t capacity = 256);

/// As ReadProfileValue, giving def when the key is missing (def is cut to capacity - 1 as well).
std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& def, size_t capacity = 256);

/// Leading decimal digits of text (after blanks, with an optional sign) as an integer; def when none.
int ProfileInt(const std::string& text, int def);

}  // namespace falatro
