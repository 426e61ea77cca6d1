// The engine's text stages as start-up and VelarSpeak use them.
#include "tts/velar_text.h"

#include "tts/letter_rules.h"
#include "tts/prosody.h"
#include "tts/text_pipeline.h"
#include "tts/text_preprocessor.h"

namespace falatro {

void VelarFreeData() {
  FreeLetterRules();
  FreeDiphoneList();
}

bool VelarLoadData(const std::string& rules_file, const std::string& exceptions_file,
                   const std::string& abbreviations_file, const std::string& prosody_file,
                   const std::string& definitions_file, std::string* error_text) {
  if (!LoadLetterRules(rules_file) || !LoadExceptions(exceptions_file)) {
    *error_text = "Erro na base de dados de portugu\xEAs";
    return false;
  }
  if (!LoadAbbreviations(abbreviations_file)) {
    *error_text = "Erro no arquivo de abreviaturas";
    return false;
  }
  if (!LoadProsody(prosody_file) || !LoadDiphoneList(definitions_file)) {
    *error_text = "Erro no arquivo de pros\xF3" "dia";
    return false;
  }
  return true;
}

std::vector<std::string> VelarTextToLines(const std::string& text, double duration_factor, double pitch_factor) {
  return TextToMbrolaLines(text, duration_factor, pitch_factor);
}

}  // namespace falatro
