// Dial tones: the two-frequency signal of each telephone key, made exactly at 11025 Hz.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace falatro {

/// Length of one dial tone in samples at 11025 Hz (100 ms).
constexpr size_t kDialToneSamples = 1103;

/// The low and high frequency (Hz) of a telephone key "0".."9", "*", "#", "A".."D". Returns false for
/// any other key.
bool DialToneFrequencies(char key, int* low, int* high);

/// 8-bit unsigned samples of key's tone: both sines at equal level, faded in and out over 2 ms so the
/// tone starts and ends at the zero level (128). Empty for a key without a tone.
std::vector<uint8_t> MakeDialTone(char key);

}  // namespace falatro
