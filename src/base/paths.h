// Where the suite's files live on this system, and the one rule that maps desktop paths onto it.
#pragma once

#include <string>

namespace falatro {

/// The suite's "Windows directory": $NARRIX_WINDIR, else $XDG_CONFIG_HOME/narrix, else ~/.config/narrix.
std::string WindowsDir();
/// The root that drive paths stand for: $NARRIX_ROOT, else ~/.local/share/narrix.
std::string NarrixRoot();

/// Maps a path from a settings file or a default: "X:\..." (any letter) and "\..." are taken below
/// NarrixRoot(); every "\" becomes "/"; a path starting with "/" is kept; a relative path stays relative.
std::string MapPath(const std::string& path);

/// The name to open for path: path itself when it exists, else the first entry of its directory whose
/// name matches without letter case, else path unchanged (so the caller's open fails as usual).
std::string FindFileNoCase(const std::string& path);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
/// Joins a directory and a name with one "/".
std::string JoinPath(const std::string& dir, const std::string& name);
/// Creates path and its parents (mode 0755). Returns false and sets *error on failure.
bool MakeDirectories(const std::string& path, std::string* error = nullptr);

}  // namespace falatro
