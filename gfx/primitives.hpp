// Pixel primitives: points, lines, boxes and flood fill, onto an Image or
// (target nullptr) the screen's work page.
//
// Common rules: nothing is drawn without an open screen or on an invalid
// Image. Coordinates are floats; the coordinate mode (flags bits 0-2, see
// draw_state.hpp) is applied first, then each coordinate becomes a pixel by
// rounding halves away from zero (2.5 -> 3, -0.4 -> 0, 639.5 -> 640). Drawing
// clips silently to the whole target; lines and boxes include both ends.
// Flags bit 31: no colour given, use the default colour. Pixels are written
// under the display lock, and when the target is the visible page the
// row-changed flags of the rows written are set. Program thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "gfx/image.hpp"
#include "gfx/types.hpp"

namespace gfx {

inline constexpr std::int32_t shape_line = 0;
inline constexpr std::int32_t shape_filled_box = 2;
inline constexpr std::int32_t shape_box = 1;  // any other value than 0 and 2

// One pixel at (x, y) when it lies inside the target. With flags bit 31 the
// default foreground colour, or the background when use_background != 0.
void draw_point(Image* target, float x, float y, Color colour, std::int32_t flags, std::int32_t use_background);

// Line (shape 0), filled box (2) or box outline (other). Style: a 16-bit
// pattern counted from P1; pixel k along the line is written when bit
// 15 - (k mod 16) is set (0xFFFF: solid).
void draw_shape(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t shape,
                std::int32_t style, std::int32_t flags);
void draw_line(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t style,
               std::int32_t flags);
void draw_box(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t style,
              std::int32_t flags);
void fill_box(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t style,
              std::int32_t flags);

// Fills the 4-connected region around (x, y) bounded by pixels equal to the
// border colour (all 32 bits compared; flags bit 30: the fill colour is the
// border). Mode 0 solid; mode 1 an 8 x 8 tile from the first 256 bytes of
// `pattern`, pixel (x mod 8, y mod 8). Iterative, no recursion.
void flood_fill(Image* target, float x, float y, Color colour, Color border, std::string_view pattern,
                std::int32_t mode, std::int32_t flags);

}  // namespace gfx
