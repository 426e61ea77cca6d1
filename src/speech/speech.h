// The speech front end: the one door through which the program says texts, spells, and plays prompts and signals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace falatro {

/// Size of the click image: a 44-byte RIFF/WAVE header and 256 samples (8-bit, mono, 11025 Hz).
constexpr size_t kClickImageSize = 44 + 256;
/// The program's exit code when the voice cannot start.
constexpr int kVoiceStartFailedExit = 3;

/// State of the speech front end (one instance, `Speech`). Tests set its fields and inspect them.
struct SpeechState {
  /// The program's own directory of recorded prompts; ends in "\" unless empty (a settings path,
  /// mapped onto this system with MapPath when a file is opened).
  std::string ProgramSoundDir;
  /// The suite's directory of letters and common prompts ("TRADUTOR"/"DIRLETRAS"); ends in "\".
  std::string LettersDir;
  /// Punctuation marks are said as well as paused on (the client switches it).
  bool SpeakPunctuationMarks = true;
  /// Typed characters are echoed by the line editor.
  bool EchoTypedChars = true;
  /// The click: header plus 64 random samples 128..187 and 192 samples of silence (128).
  uint8_t ClickImage[kClickImageSize] = {};
  /// The repetition rule of SpeakText: the last mark said on its own (initially a space) and how
  /// many times in a row it came back.
  char LastMark = ' ';
  int RepeatCount = 0;
  /// Speed 1..5 chosen by the last InitSpeech.
  int Speed = 3;
  /// True between InitSpeech and DoneSpeech.
  bool Initialised = false;

  /// Sets the initial values and builds the click samples.
  SpeechState();
};
extern SpeechState Speech;

/// Starts (or restarts) the front end with speed (0 or less: "TRADUTOR"/"VELOCIDADE"; outside 1..5: 3)
/// and the program's sound directory. Loads the diphone voice; when it cannot start, writes
/// "Erro de inicializa\xE7\xE3o: " + code and "Banco de dados de voz: " + database name on the console,
/// beeps with the console's own tone, waits for Enter and ends the program through DoneConsole with
/// kVoiceStartFailedExit. Starts the configured synthesizer when
/// "TRADUTOR"/"SAPI" asks for one; a failed start leaves the recorded voice in charge.
void InitSpeech(int speed, const std::string& program_sound_dir);

/// Waits for the sound to end (a key cuts it), stops all sound, releases the synthesizer when one is
/// active and stops the diphone voice.
void DoneSpeech();

/// Says a text with the current voice: handed whole to the active synthesizer, or said from recordings
/// (numbers as words, words through the transcriber and the diphone voice, marks as letter sounds with
/// pauses). A waiting key stops it within one character and stays queued.
void SpeakText(std::string_view text);

/// Writes text at the console cursor, then says it.
void WriteSpoken(std::string_view text);
/// WriteSpoken, then ends the console line.
void WriteLnSpoken(std::string_view text);
/// WriteSpoken of the decimal form of n.
void WriteNumberSpoken(int64_t n);

/// Says a text character by character with SpeakChar; stops when a key waits.
void SpellText(std::string_view text);
/// Plays the recording of one character: LettersDir + "_" + its decimal code (0..255) + ".wav".
void SpeakChar(char c);

/// Plays the recording of a prompt key: LettersDir + key + ".wav" for keys starting with "_", else
/// ProgramSoundDir + key + ".wav". A missing recording is silent.
void PlayPrompt(std::string_view key);
/// True when the recording PlayPrompt would play for key exists.
bool PromptSoundExists(std::string_view key);
/// The file (mapped onto this system) that PlayPrompt plays for key.
std::string PromptSoundPath(std::string_view key);

/// Plays the click (the random samples made at start-up) and waits for it to end, with period cutting
/// off meanwhile.
void PlayClick();
/// Throws away every key typed ahead, then plays the 46 ms beep and waits for it to end.
void PlayBeep();
/// Plays the dial tone of each digit, "#" and "*" of text (each followed by 100 ms; "," waits 1 s;
/// anything else is skipped), with the faster rate off meanwhile.
void PlayDialTones(std::string_view text);

/// Upper case of a cp1252 character: a..z to A..Z, every code above 223 lowered by 32.
char UpperCaseAccented(char c);
/// UpperCaseAccented of every character of text.
std::string UpperCaseAccented(std::string_view text);

}  // namespace falatro
