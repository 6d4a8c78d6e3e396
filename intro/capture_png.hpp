// PNG files of captured frames.
#pragma once

#include <cstdint>
#include <string>

#include "intro/capture.hpp"

namespace intro {

// "frame-000042.png" for frame 42: six digits at least, more past 999999.
std::string capture_png_name(std::int64_t number);

// Writes the frame as an 8-bit RGB PNG without alpha (the frame's alpha is
// dropped), non-interlaced, at zlib level `level` (0 to 9). On failure
// returns false, says why in `error`, and removes what it wrote.
bool capture_png_write(const std::string& path, const CaptureFrame& frame, std::string& error, int level = 3);

}  // namespace intro
