// The engine's text stages as start-up and VelarSpeak use them: loading and releasing the five data
// files, and turning a text into MBROLA phoneme lines.
#pragma once

#include <string>
#include <vector>

namespace falatro {

/// Releases the letter-to-sound rules, exceptions and diphone list loaded before (nothing when none).
void VelarFreeData();
/// Loads rules and exceptions, abbreviations, then prosody and diphone list, in that order. False with
/// *error_text set to the failing step's message: "Erro na base de dados de português" (rules or
/// exceptions), "Erro no arquivo de abreviaturas", "Erro no arquivo de prosódia" (cp1252 texts).
bool VelarLoadData(const std::string& rules_file, const std::string& exceptions_file,
                   const std::string& abbreviations_file, const std::string& prosody_file,
                   const std::string& definitions_file, std::string* error_text);
/// Preprocesses, tokenises, chooses contours, transcribes and computes prosody: the phoneme lines
/// ("name duration [position pitch]...", ";" comments) for one text.
std::vector<std::string> VelarTextToLines(const std::string& text, double duration_factor, double pitch_factor);

}  // namespace falatro
