// Reading an Image's pixels back and writing pixels as a BMP file, for the
// programs that make the checked-in pictures and for their tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "gfx/image.hpp"
#include "gfx/types.hpp"

namespace tools {

// Pixels of a picture, row by row from the top, 0xAARRGGBB.
struct Pixels {
    std::int32_t width = 0, height = 0;
    std::vector<gfx::Color> data;

    gfx::Color at(std::int32_t x, std::int32_t y) const {
        return data[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

// Copies the pixels of a 32-bit Image in either header form (4-byte: pixels
// from byte 4, pitch width x 4; 32-byte: pixels from byte 32 at the header's
// pitch). An empty result for an Image that is not 4 bytes a pixel or whose
// header describes more rows than its block holds.
Pixels image_pixels(const gfx::Image& image);

// An uncompressed 24-bit BMP: 14-byte file header, 40-byte information
// header, no palette, rows bottom-up, each padded to a multiple of 4 bytes;
// the alpha byte of every pixel is dropped. `pixels` holds width x height
// values, top row first.
std::vector<std::uint8_t> bmp_encode(const Pixels& pixels);

// Writes bmp_encode(pixels) to `path`; false when the file cannot be written.
bool bmp_write(const std::filesystem::path& path, const Pixels& pixels);

}  // namespace tools
