// The suite's recording format: RIFF/WAVE images of 8-bit unsigned mono sound at 11025 Hz.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace falatro {

/// A canonical 44-byte-header RIFF/WAVE image of 8-bit unsigned mono samples at rate.
std::vector<uint8_t> MakeWave8(const std::vector<uint8_t>& samples, uint32_t rate = 11025);

}  // namespace falatro
