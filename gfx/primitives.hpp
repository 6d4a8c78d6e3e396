// Pixel primitives: points, lines, boxes and flood fill, onto an Image or
// (target nullptr) the screen's work page.
//
// Common rules: nothing is drawn without an open screen or on an invalid
// Image (one whose header describes more than its storage holds); such a
// call changes nothing, not even the last point. The colour is stored as
// given, all 32 bits, alpha included; no primitive blends. Flags bit 31: no
// colour given, use the default colour (foreground 0xFFFFFFFF after
// screen_open). Coordinates are floats; the coordinate mode (flags bits 0-2)
// is applied first in float arithmetic:
//   0, 4, 6, 7  absolute
//   1           the second point relative to the first (x2 += x1, y2 += y1)
//   2, 5        the first point relative to the last point
//   3           both: first relative to the last point, then second to first
// (one-point operations ignore the part about a second point), and the last
// point becomes the second point, or the only one. Then each coordinate
// becomes a pixel by rounding halves away from zero (2.5 -> 3, -2.5 -> -3,
// -0.4 -> 0, 639.5 -> 640). Drawing clips silently to the whole target;
// lines and boxes include both ends.
//
// Threads: the program's thread (the drawing state is the calling thread's).
// Pixels are written under the display lock, taken just before the first
// write (no lock is taken when nothing is drawn; a caller already holding a
// DisplayLock keeps it). When the target is the page now visible, the
// row-changed flags of the rows written are set under the same lock, so the
// next update shows them; drawing into any other page or an Image sets none.
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
// default foreground colour, or the background (0xFF000000 after
// screen_open) when use_background != 0.
void draw_point(Image* target, float x, float y, Color colour, std::int32_t flags, std::int32_t use_background);

// Line (shape 0), filled box (2) or box outline (any other shape).
//
// Line: the end points P1 and P2 are clipped by region codes against the
// target, with the slope in extended precision and each move of an end point
// truncated toward zero; P1 is always the end point moved, so when P1 is
// inside and P2 is not the two exchange, and the exchange stands. Then: a vertical line is written top to bottom, a
// horizontal one left to right (with style 0xFFFF as one span), any other by
// Bresenham's algorithm from P1 to P2. (0, 5)-(9, 5) covers 10 pixels.
// Style: a 16-bit pattern (higher bits ignored) counted from P1 after
// clipping, whichever way the pixels are written: the pixel at position k
// (k = 0 at P1) is written only when bit 15 - (k mod 16) is set; 0xFFFF is
// solid, 0 draws nothing. The rows flagged on the visible page are those from
// the clipped line's first row to its last.
//
// Boxes: the corners are put in order (x1 <= x2, y1 <= y2); nothing is drawn
// when the box lies wholly outside the target; otherwise the corners are
// clipped to it. A filled box fills every pixel of the clipped box (style
// ignored): (20, 20)-(420, 322) is 401 x 303 pixels. An outline draws each of
// its four edges only when that edge's own line lies inside the target, in
// this order: bottom row, top row (each across the clipped columns, left to
// right), right column, left column (each down the clipped rows); a
// non-solid style runs on from edge to edge in that order, one position per
// pixel visited, corners visited twice. Both flag every row of the clipped
// box, even where only an edge was drawn.
void draw_shape(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t shape,
                std::int32_t style, std::int32_t flags);
void draw_line(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t style,
               std::int32_t flags);
void draw_box(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t style,
              std::int32_t flags);
void fill_box(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t style,
              std::int32_t flags);

// Fills the 4-connected region around (x, y), within the target, bounded by
// pixels equal to the border colour: all 32 bits are compared, so a pixel
// with the border's red, green and blue but another alpha is filled over.
// The fill colour plays no part in the search: pixels already in it are
// filled through. Flags bit 30: no border given, the fill colour is the
// border; otherwise `border`, cut like a colour to the target's pixel size
// (unchanged for 4-byte pixels). Nothing happens when (x, y) is outside the
// target or on a border pixel. Pixels that touch only at their corners hold
// the fill.
// Mode 1: pixel (x, y) takes pixel x mod 8 of row y mod 8 of an 8 x 8 tile
// read, row after row, from the first 256 bytes of `pattern` (zero where it
// is shorter), each tile pixel being of the target's pixel size. Any other
// mode fills with the colour.
// The search runs first, reading the target only, and keeps its spans in
// memory of its own (iterative, no recursion, so any region depth is safe);
// when that memory cannot be had nothing is drawn. The fill then runs under
// the display lock and flags each row it fills.
void flood_fill(Image* target, float x, float y, Color colour, Color border, std::string_view pattern,
                std::int32_t mode, std::int32_t flags);

}  // namespace gfx
