// Scaffolding for the speech tests: a recording sound device on a simulated clock, a scratch suite tree
// with recordings and a diphone database made to order, and a readable trace of what was played.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/event_loop.h"
#include "recording_sound_backend.h"
#include "speech/sound_device.h"

namespace falatro::testing {

using testsupport::PlayedBlock;
using testsupport::RecordingSoundBackend;

/// A unit of a test database: its name and its length in bytes.
struct TestUnit {
  std::string name;
  int length;
};

/// Base fixture: fresh console (headless front-end, no key-up events), keyboard, wave player, shared
/// sound state, front end and diphone voice, all on a simulated clock, with a scratch suite tree in a
/// temporary directory:
///   win/NARRIX.INI, letras/ (letters and word recordings), difones/ (database, rules), prog/.
class SpeechFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// The sample value that stands for a recording or unit in the trace (distinct per name, never in
  /// the noise range 88..167).
  uint8_t ValueOf(const std::string& label);

  /// Writes a RIFF/WAVE file (8-bit mono 11025 Hz) of length samples of ValueOf(label).
  void WriteRecording(const std::string& dir, const std::string& name, int length,
                      const std::string& label = {});
  /// A recording in the letters directory named name + ".wav", labelled name.
  void Letter(const std::string& name, int length = 300) { WriteRecording(letters_, name, length); }
  /// Writes any file.
  void WriteFile(const std::string& path, const std::string& bytes);
  /// Writes win/NARRIX.INI with the standard keys (letters, diphone dir, speed 3 parameters) plus extra.
  void WriteIni(const std::string& extra = {}, bool standard = true);
  /// Writes the database name + ".IND"/".DIF" in the diphone directory; units are sorted by name and
  /// each sounds as length bytes of ValueOf(its name).
  void WriteDatabase(const std::string& name, std::vector<TestUnit> units);
  /// Writes rules and exceptions files into the diphone directory.
  void WriteRules(const std::string& rules, const std::string& exceptions = "");

  /// What was played since the last call, block by block (" | " between blocks): each run of equal
  /// samples as label*count ("sil" for silence 128, "noise" for the noise of missing units, "click",
  /// "beep"). With counts false only the labels that are not silence. Clears the record.
  std::string Trace(bool counts = false);
  /// The same description for one stretch of 8-bit samples (no block-end repair).
  std::string Describe(const std::vector<uint8_t>& samples, bool counts);
  /// Total sound bytes played since the last Trace.
  size_t PlayedBytes() const;

  std::string root_, win_, letters_, difones_, prog_;
  SimulatedBackend sim_;
  RecordingSoundBackend device_;
  std::map<std::string, uint8_t> values_;
  std::map<uint8_t, std::string> labels_;
  uint8_t next_value_ = 1;
};

}  // namespace falatro::testing
