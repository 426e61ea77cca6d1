// A small diphone database made from formula sounds (two vowels, a hiss, silence) with known pitch
// marks, for testing the synthesizer without the generated voice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/mbrola/diphone_store.h"

namespace falatro {

constexpr int kSyntheticPeriod = 160;  ///< 100 Hz at 16000 Hz

/// Phonemes "_", "a", "i", "s"; every pair except those listed in `missing` ("a-s" ...).
DiphoneStore MakeSyntheticStore(const std::vector<std::string>& missing = {});
/// Writes it to a file; returns the path (under the test's temporary directory).
std::string WriteSyntheticStore(const std::string& name, const std::vector<std::string>& missing = {});

/// Pitch of samples[from, to) by autocorrelation (60..400 Hz), 0 when unvoiced or too short.
double MeasurePitch(const std::vector<int16_t>& samples, size_t from, size_t to, int rate = 16000);

}  // namespace falatro
