// Image blits and the row routines of the five blend modes.
//
// Per-byte formulas on 32-bit pixels (s source, d target, c each of the four
// bytes, floor toward minus infinity):
//   Copy         d = s, all 32 bits (key pixels too)
//   Transparent  key s (low 24 bits 0xFF00FF): d unchanged; else d = s & 0x00FFFFFF
//   Blend a      a == 0: Transparent. Else k = (a & 255) + 1; key s: unchanged;
//                else d_c += floor((s_c - d_c) * k / 256)
//   Add a        k = a & 255; key s: unchanged; else d_c = min(255, d_c + floor(s_c * k / 256))
//   Alpha        a = s_alpha; d_c += floor((s_c - d_c) * a / 256); no key test
// Examples: Blend 66 of 0xFFFFFFFF over 0xFF000000 gives 0xFF424242; Add 255
// of 0xFFFFFFFF over 0xFF000000 gives 0xFFFEFEFE (a source byte adds itself
// minus one); Alpha of 0x80FF0000 over 0xFF0000FF gives 0xBF7F007F.
#pragma once

#include <cstdint>

#include "gfx/image.hpp"
#include "gfx/types.hpp"

namespace gfx {

inline constexpr std::int32_t whole_source = static_cast<std::int32_t>(0xFFFF0000u);

// Draws `source` (or its rectangle x1, y1 - x2, y2, corners included; x1 ==
// whole_source: the whole source) with its top-left at (x, y) onto `target`
// (nullptr: the screen's work page), combining pixels by `mode` (formulas
// above; `alpha` is used by Blend and Add only).
//
// Coordinate mode: 0 absolute; 1 the rectangle's second corner relative to
// its first (x2 += x1, y2 += y1); 2 the position relative to the last point
// (added in float); 3 both; any other value acts as 0. The last point becomes
// the position; then the position rounds to a pixel, halves away from zero.
// The rectangle's corners are ordered (x1 <= x2, y1 <= y2) and each clamped
// into the source (0..width - 1, 0..height - 1). Clipping against the whole
// target is done once, up front, by moving the source start and shrinking the
// rectangle.
//
// Ok when the call was valid, whether or not anything was drawn. IllegalCall,
// nothing drawn, without a screen, without a source, for an invalid Image
// (target or source, see image.hpp), when the pixel sizes of source and
// target differ (a 4-byte-form source gives its own size in bits 0-2, or the
// target's when those are 0), for pixel sizes other than 4, or for a `mode`
// that is no BlitMode; in those cases the last point is already updated,
// except without a screen, a source or a valid target.
//
// An Image drawn onto itself with overlapping rectangles reads the whole
// source rectangle before writing (it needs memory for a copy of it;
// IllegalCall when that cannot be had).
//
// Program thread. Writes the pixels under the display lock (taken unless this
// thread holds it) and, when the target is the visible page, sets the
// row-changed flags of the rows written.
Status blit(Image* target, float x, float y, const Image* source, std::int32_t x1, std::int32_t y1,
            std::int32_t x2, std::int32_t y2, std::int32_t coord_mode, BlitMode mode, std::int32_t alpha);

namespace detail {

// A row routine: w x h pixels, row by row, from `src` (pitch src_pitch bytes)
// onto `dst` (pitch dst_pitch), with the alpha argument. 4-byte pixels.
using RowRoutine = void (*)(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                            std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha);

// The routine of `mode` from the instruction set chosen once, at the first
// call, from the processor's features (SSE2, AVX2, AVX-512BW), or the scalar
// reference when GFX_FORCE_SCALAR=1 is set in the environment. Same pixels
// either way, byte for byte. nullptr for a value that is no BlitMode. Rows
// may start at any byte address; source and target rows must not overlap.
RowRoutine blit_rows(BlitMode mode);

// Runs the chosen routine (Blend with alpha 0 runs Transparent); nothing for
// w or h <= 0 or a value that is no BlitMode. The caller holds the display
// lock when the target is a screen page.
void blit_rows(BlitMode mode, const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
               std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha);

}  // namespace detail
}  // namespace gfx
