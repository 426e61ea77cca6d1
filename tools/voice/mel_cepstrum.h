// Mel-cepstral distortion between two readings of the same text, after dynamic time warping: how far
// the voice's sound is from a reference, in dB (0 for the same sound).
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

namespace falatro {

/// Cepstral coefficients kept per frame (c1..c13; c0, the loudness, is left out).
constexpr size_t kMelCepstra = 13;
using MelFrame = std::array<double, kMelCepstra>;
/// Mel bands a frame's spectrum is summed into.
constexpr size_t kMelBands = 24;

/// c1..c13 of the bands' natural-log amplitudes L(b): the coefficients of the cosine series
/// L(b) = c0 + sum over d of c_d cos(pi d (b + 1/2) / kMelBands), the form the distortion below is
/// defined for: it is then the root-mean-square difference in dB between two frames' log spectra over
/// the bands, leaving out their overall level (c0) and detail finer than c13.
MelFrame MelCepstrumOfBands(const std::array<double, kMelBands>& log_amplitude);

/// How much larger the coefficients are when taken with the orthonormal cosine transform, as common
/// MFCC tools do (sqrt(kMelBands / 2)); distortions in that convention are larger by the same factor.
inline const double kOrthonormalCepstrumScale = std::sqrt(kMelBands / 2.0);

/// Mel cepstra of sound at rate (16-bit-scaled float samples): a 23 ms Hann window every 5 ms, 24
/// triangular mel bands from 60 Hz to 5000 Hz, log amplitude, MelCepstrumOfBands. Frames more than 40 dB
/// below the loudest one (silence and pauses) are left out.
/// starts, when given, gets the first sample of each frame kept.
std::vector<MelFrame> MelCepstra(const std::vector<float>& sound, int rate, std::vector<size_t>* starts = nullptr);

/// Mean mel-cepstral distortion, 10/ln 10 * sqrt(2 * sum of squared differences), along the dynamic
/// time warping path (steps of one frame in either sound or both) that makes its sum least. A very
/// large value when either has no frames. per_frame, when given, gets for each frame of a the mean
/// distortion of the path's steps through it; matched, the first frame of b the path pairs it with.
double MelCepstralDistortion(const std::vector<MelFrame>& a, const std::vector<MelFrame>& b,
                             std::vector<double>* per_frame = nullptr, std::vector<size_t>* matched = nullptr);

}  // namespace falatro
