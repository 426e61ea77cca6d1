// Turning generated speech into the suite's sound: 11025 Hz, loudness-matched, 8-bit, edges at the zero level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace falatro {

/// Rate of every recording and unit the suite plays.
constexpr int kSuiteRate = 11025;
/// Loudness every recording and unit is brought to: RMS of the voiced part, in 16-bit units.
constexpr double kTargetRms = 5000.0;
/// Samples (at 11025 Hz) over which each edge is faded to the zero level.
constexpr size_t kEdgeFade = 22;

/// Halves the rate of 16-bit sound (22050 to 11025 Hz) through a linear-phase low-pass filter that
/// removes what would fold back; sample i of the result is centred on sample 2i of the input.
std::vector<float> HalveRate(const std::vector<int16_t>& in);
/// Converts 16-bit sound to float samples without changing its rate.
std::vector<float> ToFloat(const std::vector<int16_t>& in);

/// RMS over the frames (10 ms) whose energy is within 30 dB of the loudest frame: the level of the
/// speech itself, not of the pauses around it. 0 for silence.
double SpeechRms(const std::vector<float>& s, int rate);
/// Largest sample value (16-bit units) a shaped sound reaches.
constexpr double kPeakLimit = 32000.0;

/// Multiplies s so that SpeechRms becomes target (peaks at most twice the 16-bit range before a soft
/// limiter bends everything above 24000 towards kPeakLimit, which no sample passes).
void MatchLoudness(std::vector<float>& s, int rate, double target = kTargetRms);
/// Gain that MatchLoudness would apply (1 for silence).
double LoudnessGain(const std::vector<float>& s, int rate, double target = kTargetRms);

/// Range [first, last) left after dropping the leading and trailing stretches quieter than
/// threshold (absolute 16-bit value), keeping margin samples of them on each side.
void SoundExtent(const std::vector<float>& s, float threshold, size_t margin, size_t* first, size_t* last);

/// Fades the first and last fade samples with a raised cosine so the sound starts and ends at zero.
void FadeEdges(std::vector<float>& s, size_t fade = kEdgeFade);

/// The sample nearest to pos (searching at most reach samples either way) where the sound crosses
/// zero; pos itself when there is none.
size_t NearestZeroCrossing(const std::vector<float>& s, size_t pos, size_t reach);

/// 8-bit unsigned samples (128 = zero) from 16-bit-scaled float samples, rounded and clipped.
std::vector<uint8_t> ToUnsigned8(const std::vector<float>& s);

}  // namespace falatro
