// Laying the voice's files under the suite root without ever overwriting what a user put there.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace falatro {

/// One file the voice provides: its path below the suite root ("zanvel/som/letras/_65.wav") and bytes.
struct InstallFile {
  std::string Path;
  std::vector<uint8_t> Bytes;
};

/// What an install did with each kind of file.
struct InstallReport {
  int Written = 0;       ///< missing files created
  int Regenerated = 0;   ///< own files whose content changed with the voice
  int Unchanged = 0;     ///< own files already up to date
  int Kept = 0;          ///< files the user replaced or placed there: left alone
  int Removed = 0;       ///< own files the voice no longer has, unchanged since written: deleted
  std::vector<std::string> KeptPaths;
  bool IniWritten = false;  ///< NARRIX.INI was created
};

/// Name of the manifest below the suite root: one line per file the voice wrote, "hash path".
constexpr const char* kManifestName = "zanvel/som/falatro-voice.manifest";

/// 64-bit FNV-1a hash of bytes, written as 16 hex digits: how the manifest knows its own files.
std::string ContentHash(const std::vector<uint8_t>& bytes);

/// Reads the manifest (path -> hash). A missing file gives an empty map; malformed lines are skipped
/// (their files then count as the user's, the safe side).
std::map<std::string, std::string> ReadManifest(const std::string& root);

/// Installs files below root. A missing file is written. An existing file is replaced only when the
/// manifest lists it with the hash of its present content (the voice wrote it and nobody changed it
/// since); otherwise it is the user's and is kept, and it leaves the manifest. Own files that the voice
/// no longer provides are deleted when unchanged. Files are written through a temporary name and
/// renamed, the manifest last. Returns false and sets *error when a directory or file cannot be
/// written (files done before that stay installed and listed).
bool InstallFiles(const std::string& root, const std::vector<InstallFile>& files, InstallReport* report,
                  std::string* error);

/// Writes ini_text as NARRIX.INI into windows_dir when that directory holds no file of that name in
/// any letter case. Never replaces an existing one. Returns false and sets *error when the directory
/// or file cannot be written.
bool InstallSuiteIni(const std::string& windows_dir, const std::string& ini_text, bool* written,
                     std::string* error);

/// The settings text (cp1252, CR LF lines) with key of section set to value: the first such key line
/// in that section (names compared without letter case) gets the new value; a missing key is added
/// as the section's first line, a missing section at the end.
std::string SetIniValue(const std::string& ini_text, const std::string& section, const std::string& key,
                        const std::string& value);

/// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes);
/// Writes a whole file through a temporary name in the same directory and a rename.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace falatro
