// The scroller's font: the built-in glyphs of codes 32 to 127 drawn twice as
// tall in polished chrome with a dark outline, 8 columns a character.
#include <algorithm>
#include <string>

#include "tools/pictures.hpp"

namespace tools {
namespace {

constexpr std::int32_t first_code = 32, last_code = 127;
constexpr std::int32_t cell = 8;
// Row 0 carries the font header once the intro has loaded the picture, and
// row 1 is the outline above the tallest glyphs; glyph row r fills picture
// rows 2 + 2r and 3 + 2r.
constexpr std::int32_t first_ink_row = 2;

// Chrome: a bright sky fading down to a dark horizon at the middle of a
// capital, a sharp bright line under it, then a reflection fading again.
Rgb chrome(std::int32_t row) {
    const Rgb stops[16] = {{255, 255, 255}, {226, 236, 255}, {206, 220, 250}, {186, 203, 242},
                           {164, 184, 230}, {142, 162, 214}, {112, 128, 184}, {88, 100, 160},
                           {244, 246, 255}, {214, 222, 248}, {190, 202, 238}, {166, 180, 224},
                           {142, 158, 208}, {120, 136, 192}, {100, 114, 172}, {84, 96, 154}};
    return stops[row];
}

constexpr Rgb outline{14, 12, 34};

}  // namespace

Pixels picture_font() {
    constexpr std::int32_t width = 864, height = 18;
    Canvas font(width, height);
    for (std::int32_t code = first_code; code <= last_code; ++code) {
        const auto glyph = builtin_text_mask(std::string(1, static_cast<char>(code)));
        std::int32_t lowest = cell, highest = -1;
        for (std::int32_t y = 0; y < 8; ++y)
            for (std::int32_t x = 0; x < 8; ++x)
                if (glyph.at(x, y)) lowest = std::min(lowest, x), highest = std::max(highest, x);
        if (highest < 0) continue;

        // Centre the ink in its cell, so that narrow glyphs get an outline
        // on both sides.
        const std::int32_t shift = (cell - (highest - lowest + 1)) / 2 - lowest;
        Grid<std::uint8_t> ink(cell, height);
        for (std::int32_t y = 0; y < 16; ++y)
            for (std::int32_t x = 0; x < cell; ++x)
                if (x - shift >= 0 && x - shift < 8 && glyph.at(x - shift, y / 2))
                    ink.at(x, first_ink_row + y) = 1;

        const std::int32_t left = (code - first_code) * cell;
        for (std::int32_t y = 1; y < height; ++y) {
            for (std::int32_t x = 0; x < cell; ++x) {
                if (ink.at(x, y)) {
                    font.plot(left + x, y, opaque(chrome(y - first_ink_row)));
                    continue;
                }
                bool touches = false;
                for (std::int32_t ny = y - 1; ny <= y + 1; ++ny)
                    for (std::int32_t nx = x - 1; nx <= x + 1; ++nx)
                        touches = touches || (nx >= 0 && nx < cell && ny >= 0 && ny < height && ink.at(nx, ny));
                if (touches) font.plot(left + x, y, opaque(outline));
            }
        }
    }
    return font.pixels();
}

}  // namespace tools
