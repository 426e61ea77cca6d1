// Mel-cepstral distortion between two readings of the same text, after dynamic time warping: how far
// the voice's sound is from a reference, in dB (0 for the same sound).
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace falatro {

/// Cepstral coefficients kept per frame (c1..c13; c0, the loudness, is left out).
constexpr size_t kMelCepstra = 13;
using MelFrame = std::array<double, kMelCepstra>;

/// Mel cepstra of sound at rate (16-bit-scaled float samples): a 23 ms Hann window every 5 ms, 24
/// triangular mel bands from 60 Hz to 5000 Hz, log amplitude, cosine transform. Frames more than 40 dB
/// below the loudest one (silence and pauses) are left out.
std::vector<MelFrame> MelCepstra(const std::vector<float>& sound, int rate);

/// Mean mel-cepstral distortion, 10/ln 10 * sqrt(2 * sum of squared differences), along the dynamic
/// time warping path (steps of one frame in either sound or both) that makes its sum least. A very
/// large value when either has no frames.
double MelCepstralDistortion(const std::vector<MelFrame>& a, const std::vector<MelFrame>& b);

}  // namespace falatro
