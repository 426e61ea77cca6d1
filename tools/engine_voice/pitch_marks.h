// Turning the generating voice's flat-pitch speech into diphone material: 22050 to 16000 Hz, the
// voice's period, and one pitch mark per period (voiced) or per period's length (unvoiced).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace falatro {

/// Resamples 16-bit sound from rate `from` to rate `to` with a windowed-sinc low-pass below the
/// smaller Nyquist frequency.
std::vector<float> Resample(const std::vector<int16_t>& in, int from, int to);

/// Voicing of 5 ms frames: a frame is voiced when it is loud enough and repeats itself with a period
/// between 60 and 400 Hz. *period gets the median period (samples) of the voiced frames, 0 if none.
std::vector<bool> VoicedFrames(const std::vector<float>& x, int rate, int* period);
constexpr int kFrameHop = 80;  ///< samples per voicing frame at 16000 Hz

/// Pitch marks over all of x: in voiced stretches at the largest sample of each period (following the
/// period from one mark to the next), elsewhere every `period` samples. Positions ascend; voiced
/// marks carry the high bit (kMarkVoiced).
std::vector<uint32_t> FindPitchMarks(const std::vector<float>& x, const std::vector<bool>& voiced, int period);

}  // namespace falatro
