// One line of text in the built-in 8 x 8 font or in a Font image.
#pragma once

#include <cstdint>
#include <string_view>

#include "gfx/image.hpp"
#include "gfx/types.hpp"

namespace gfx {

// Draws `text` with the top-left of its first cell at (x, y), rounded halves
// away from zero, after the coordinate mode of `flags`. font == nullptr: the
// built-in font, ink `colour` (flags bit 31: the foreground), 8 pixels a
// character, no background. Otherwise a Font image: each glyph is drawn by
// `mode`'s row routine with `colour` as its alpha argument.
// Ok also when nothing is visible or no screen is open; IllegalCall when
// `text.data()` is null (no text at all) or the Font image fails its checks.
Status draw_text(Image* target, float x, float y, std::int32_t flags, std::string_view text, Color colour,
                 const Image* font, BlitMode mode);

namespace detail {
// 256 glyphs x 8 rows; bit k of a row byte is column k (bit 0 leftmost).
extern const std::uint8_t builtin_font[2048];
}

}  // namespace gfx
