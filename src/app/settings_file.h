// The client's settings file ("falatro.ini"): server, nickname and password.
#pragma once

#include <string>
#include <string_view>

namespace falatro {

/// Default of "FALATRO"/"ARQCONF" and the fallback location, as settings paths (mapped onto this
/// system by MapPath).
constexpr const char* kDefaultConfigPath = "c:\\falatro.ini";
constexpr const char* kFallbackConfigPath = "c:\\zanvel\\falatro.ini";

/// Applies one line of the settings file (without its line end) to Client: a line starting with
/// "Servidor" sets ServerName, "Nick" Nickname, "Senha" Password (compared case-sensitively at the
/// very start), each to the text after the first "=" (the whole line when it has none). Other lines
/// are skipped.
void ApplySettingsLine(std::string_view line);
/// Applies every line of text (CR LF or LF line ends).
void ApplySettingsText(std::string_view text);
/// Reads the file at path (found without letter case) into Client. False when it cannot be read.
bool ReadSettingsFile(const std::string& path);

/// The file's contents for the current values: "[Falatro]", "Servidor=", "Nick=", "Senha=" lines, each
/// ended by CR LF.
std::string SettingsFileText();
/// Replaces the file at path with SettingsFileText(), readable and writable by its owner only. The
/// old file is replaced only once the new one is complete, and its folder is created when missing.
/// False (with *error) when it cannot be written; nothing is left behind then.
bool WriteSettingsFile(const std::string& path, std::string* error = nullptr);

/// Finds the settings file ("FALATRO"/"ARQCONF", else the default path; when no file is there, the
/// fallback path) and sets ConfigPath. On the first run (no file at either place) says the version and
/// runs ConfigureClient, which creates the file at the fallback path. Then reads the file.
void LoadClientSettings();

/// The settings dialogue: asks for the server, the nickname (both spoken) and the password (shown,
/// not spoken); empty answers give empty values. The new values take effect at once and the file at
/// ConfigPath is rewritten; when it cannot be, says "Não consegui criar o arquivo de configuração"
/// and the values stay for this run only.
void ConfigureClient();

}  // namespace falatro
