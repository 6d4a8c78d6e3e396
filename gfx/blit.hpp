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
#pragma once

#include <cstdint>

#include "gfx/image.hpp"
#include "gfx/types.hpp"

namespace gfx {

inline constexpr std::int32_t whole_source = static_cast<std::int32_t>(0xFFFF0000u);

// Draws `source` (or its rectangle x1, y1 - x2, y2, corners included; x1 ==
// whole_source: the whole source) with its top-left at (x, y) onto `target`
// (nullptr: the screen's work page). Coordinate mode: 0 absolute; 1 the
// rectangle's second corner relative to its first; 2 the position relative
// to the last point; 3 both. The last point becomes the position; the
// position rounds halves away from zero. The rectangle is ordered and
// clamped into the source; clipping against the target is done once, up
// front. Ok when the call was valid, whether or not anything was drawn;
// IllegalCall (nothing drawn) without a screen, without a source, for an
// invalid Image, or when the pixel sizes of source and target differ.
Status blit(Image* target, float x, float y, const Image* source, std::int32_t x1, std::int32_t y1,
            std::int32_t x2, std::int32_t y2, std::int32_t coord_mode, BlitMode mode, std::int32_t alpha);

namespace detail {

// A row routine: w x h pixels, row by row, from `src` (pitch src_pitch bytes)
// onto `dst` (pitch dst_pitch), with the alpha argument. 4-byte pixels.
using RowRoutine = void (*)(const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
                            std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha);

// The routine of `mode` chosen at start-up from the processor's features
// (SSE2, AVX2, ...), or the scalar reference when GFX_FORCE_SCALAR=1 is set
// in the environment. Same pixels either way, byte for byte. nullptr for a
// value that is no BlitMode. Rows may start at any byte address; source and
// target rows must not overlap.
RowRoutine blit_rows(BlitMode mode);

// Runs the chosen routine (Blend with alpha 0 runs Transparent); nothing for
// w or h <= 0 or a value that is no BlitMode. The caller holds the display
// lock when the target is a screen page.
void blit_rows(BlitMode mode, const std::uint8_t* src, std::uint8_t* dst, std::int32_t w, std::int32_t h,
               std::int32_t src_pitch, std::int32_t dst_pitch, std::int32_t alpha);

}  // namespace detail
}  // namespace gfx
