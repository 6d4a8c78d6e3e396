#include "gfx/primitives.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "gfx/draw_state.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"

namespace gfx {
namespace {

// Walks a 16-bit line style one position at a time: the current position's
// bit is bit 15, and each step turns the pattern left by one.
struct StyleCursor {
    std::uint16_t bits;

    bool on() const { return (bits & 0x8000u) != 0; }
    void step() { bits = static_cast<std::uint16_t>((bits << 1) | (bits >> 15)); }

    // A run of n positions written from its far end (position n - 1 first)
    // must still give position k bit 15 - (k mod 16), as if drawn from P1.
    // Walking the bit-reversed style does that; the far end's bit lies n mod
    // 16 places along, so the reversed style turned right by that much
    // starts on it.
    static StyleCursor from_far_end(std::uint16_t style, std::int32_t n) {
        std::uint16_t r = 0;
        for (int i = 0; i < 16; ++i) r = static_cast<std::uint16_t>(r | (((style >> i) & 1u) << (15 - i)));
        const int turn = n % 16;
        return StyleCursor{static_cast<std::uint16_t>(turn == 0 ? r : (r >> turn) | (r << (16 - turn)))};
    }
};

using detail::Surface;

constexpr std::uint16_t solid_style = 0xFFFF;

inline void store(std::uint8_t* p, Color c, std::int32_t bpp) {
    switch (bpp) {
        case 4: std::memcpy(p, &c, 4); break;
        case 2: { const auto v = static_cast<std::uint16_t>(c); std::memcpy(p, &v, 2); break; }
        default: *p = static_cast<std::uint8_t>(c); break;
    }
}

inline std::uint8_t* pixel_address(const Surface& s, std::int32_t x, std::int32_t y) {
    return s.row(y) + static_cast<std::ptrdiff_t>(x) * s.bpp;
}

// Writes `n` pixels from `p`, stepping `step` bytes, each where the style
// allows.
void run(std::uint8_t* p, std::ptrdiff_t step, std::int32_t n, Color c, std::int32_t bpp, StyleCursor& style) {
    for (std::int32_t i = 0; i < n; ++i) {
        if (style.on()) store(p + i * step, c, bpp);
        style.step();
    }
}

// Region codes of the line clipper.
constexpr int left_out = 1, right_out = 2, below_out = 4, above_out = 8;

int region_code(std::int64_t x, std::int64_t y, std::int64_t r, std::int64_t b) {
    int code = 0;
    if (x < 0) code |= left_out;
    if (x > r) code |= right_out;
    if (y < 0) code |= above_out;
    if (y > b) code |= below_out;
    return code;
}

// Every move lands between the two end points, so the value fits easily; the
// clamp only keeps a conversion from ever being undefined.
std::int64_t truncated(long double v) {
    constexpr long double limit = 4611686018427387904.0L;  // 2^62
    if (!(v > -limit)) return -static_cast<std::int64_t>(limit);
    if (!(v < limit)) return static_cast<std::int64_t>(limit);
    return static_cast<std::int64_t>(v);
}

struct ClippedLine {
    std::int32_t x1, y1, x2, y2;
};

// Region-code clipping against (0, 0)-(r, b). P1 is always the end point
// that moves, and the exchange that makes it so is kept, because the style
// is counted from whatever P1 is after clipping. The slope and the moves use
// extended precision and truncate toward zero.
std::optional<ClippedLine> clip_line(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2,
                                     std::int64_t r, std::int64_t b) {
    // Each move puts P1 on an edge and clears one bit; a handful of moves
    // settles any line. The bound only guards against a cycle that truncation
    // could in principle cause.
    for (int moves = 0; moves < 64; ++moves) {
        int c1 = region_code(x1, y1, r, b);
        int c2 = region_code(x2, y2, r, b);
        if ((c1 | c2) == 0) {
            return ClippedLine{static_cast<std::int32_t>(x1), static_cast<std::int32_t>(y1),
                               static_cast<std::int32_t>(x2), static_cast<std::int32_t>(y2)};
        }
        if ((c1 & c2) != 0) return std::nullopt;
        if (c1 == 0) {
            std::swap(x1, x2);
            std::swap(y1, y2);
            std::swap(c1, c2);
        }
        const long double m = x1 == x2 ? 1.0L
                                       : static_cast<long double>(y2 - y1) / static_cast<long double>(x2 - x1);
        if ((c1 & left_out) != 0) {
            y1 = truncated(static_cast<long double>(y1) + m * static_cast<long double>(0 - x1));
            x1 = 0;
        } else if ((c1 & right_out) != 0) {
            y1 = truncated(static_cast<long double>(y1) + m * static_cast<long double>(r - x1));
            x1 = r;
        } else if ((c1 & above_out) != 0) {
            if (x1 != x2) x1 = truncated(static_cast<long double>(x1) + static_cast<long double>(0 - y1) / m);
            y1 = 0;
        } else {
            if (x1 != x2) x1 = truncated(static_cast<long double>(x1) + static_cast<long double>(b - y1) / m);
            y1 = b;
        }
    }
    return std::nullopt;
}

void line_on(const Surface& s, std::int32_t px1, std::int32_t py1, std::int32_t px2, std::int32_t py2, Color c,
             std::uint16_t style) {
    if (s.width <= 0 || s.height <= 0) return;
    const auto clipped = clip_line(px1, py1, px2, py2, s.width - 1, s.height - 1);
    if (!clipped) return;
    const auto [x1, y1, x2, y2] = *clipped;

    DisplayLock lock;
    if (x1 == x2) {
        // Written top to bottom whichever end P1 is.
        const std::int32_t top = std::min(y1, y2);
        const std::int32_t n = std::abs(y2 - y1) + 1;
        StyleCursor cursor = y1 <= y2 ? StyleCursor{style} : StyleCursor::from_far_end(style, n);
        run(pixel_address(s, x1, top), s.pitch, n, c, s.bpp, cursor);
    } else if (y1 == y2) {
        const std::int32_t first = std::min(x1, x2);
        const std::int32_t n = std::abs(x2 - x1) + 1;
        if (style == solid_style) {
            detail::fill_span(pixel_address(s, first, y1), c, n, s.bpp);
        } else {
            StyleCursor cursor = x1 <= x2 ? StyleCursor{style} : StyleCursor::from_far_end(style, n);
            run(pixel_address(s, first, y1), s.bpp, n, c, s.bpp, cursor);
        }
    } else {
        const std::int32_t dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
        const std::int32_t sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
        // Pointer steps replace the per-pixel address arithmetic; no step is
        // taken past the last pixel.
        const std::ptrdiff_t step_x = static_cast<std::ptrdiff_t>(sx) * s.bpp;
        const std::ptrdiff_t step_y = static_cast<std::ptrdiff_t>(sy) * s.pitch;
        std::uint8_t* p = pixel_address(s, x1, y1);
        StyleCursor cursor{style};
        if (dx >= dy) {
            std::int32_t e = 2 * dy - dx;
            for (std::int32_t i = 0;; ++i) {
                if (cursor.on()) store(p, c, s.bpp);
                cursor.step();
                if (i == dx) break;
                if (e >= 0) {
                    p += step_y;
                    e -= 2 * dx;
                }
                p += step_x;
                e += 2 * dy;
            }
        } else {
            std::int32_t e = 2 * dx - dy;
            for (std::int32_t i = 0;; ++i) {
                if (cursor.on()) store(p, c, s.bpp);
                cursor.step();
                if (i == dy) break;
                if (e >= 0) {
                    p += step_x;
                    e -= 2 * dy;
                }
                p += step_y;
                e += 2 * dx;
            }
        }
    }
    detail::mark_rows_changed(s, std::min(y1, y2), std::max(y1, y2));
}

void box_on(const Surface& s, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, Color c,
            std::uint16_t style, bool filled) {
    if (s.width <= 0 || s.height <= 0) return;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const std::int32_t r = s.width - 1, b = s.height - 1;
    if (x2 < 0 || y2 < 0 || x1 > r || y1 > b) return;
    const std::int32_t cx1 = std::max(x1, 0), cy1 = std::max(y1, 0);
    const std::int32_t cx2 = std::min(x2, r), cy2 = std::min(y2, b);
    const std::int32_t w = cx2 - cx1 + 1, h = cy2 - cy1 + 1;

    DisplayLock lock;
    if (filled) {
        std::uint8_t* p = pixel_address(s, cx1, cy1);
        for (std::int32_t i = 0; i < h; ++i, p += s.pitch) detail::fill_span(p, c, w, s.bpp);
    } else {
        // One style cursor runs on from edge to edge in drawing order.
        StyleCursor cursor{style};
        const bool solid = style == solid_style;
        auto row_edge = [&](std::int32_t y) {
            if (solid) {
                detail::fill_span(pixel_address(s, cx1, y), c, w, s.bpp);
            } else {
                run(pixel_address(s, cx1, y), s.bpp, w, c, s.bpp, cursor);
            }
        };
        auto column_edge = [&](std::int32_t x) { run(pixel_address(s, x, cy1), s.pitch, h, c, s.bpp, cursor); };
        if (y2 <= b) row_edge(y2);
        if (y1 >= 0) row_edge(y1);
        if (x2 <= r) column_edge(x2);
        if (x1 >= 0) column_edge(x1);
    }
    detail::mark_rows_changed(s, cy1, cy2);
}

}  // namespace

void draw_point(Image* target, float x, float y, Color colour, std::int32_t flags, std::int32_t use_background) {
    const auto s = detail::make_current(target);
    if (!s) return;
    const Color c = detail::prepare_colour(*s, colour, flags, use_background != 0);
    detail::apply_coord_mode(flags, x, y);
    const std::int32_t px = detail::to_pixel(x), py = detail::to_pixel(y);
    if (px < 0 || py < 0 || px >= s->width || py >= s->height) return;
    DisplayLock lock;
    detail::set_pixel(*s, px, py, c);
    detail::mark_rows_changed(*s, py, py);
}

void draw_shape(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t shape,
                std::int32_t style, std::int32_t flags) {
    const auto s = detail::make_current(target);
    if (!s) return;
    const Color c = detail::prepare_colour(*s, colour, flags);
    detail::apply_coord_mode(flags, x1, y1, x2, y2);
    const std::int32_t px1 = detail::to_pixel(x1), py1 = detail::to_pixel(y1);
    const std::int32_t px2 = detail::to_pixel(x2), py2 = detail::to_pixel(y2);
    const auto pattern = static_cast<std::uint16_t>(style);
    if (shape == shape_line) {
        line_on(*s, px1, py1, px2, py2, c, pattern);
    } else {
        box_on(*s, px1, py1, px2, py2, c, pattern, shape == shape_filled_box);
    }
}

void draw_line(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t style,
               std::int32_t flags) {
    draw_shape(target, x1, y1, x2, y2, colour, shape_line, style, flags);
}

void draw_box(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t style,
              std::int32_t flags) {
    draw_shape(target, x1, y1, x2, y2, colour, shape_box, style, flags);
}

void fill_box(Image* target, float x1, float y1, float x2, float y2, Color colour, std::int32_t style,
              std::int32_t flags) {
    draw_shape(target, x1, y1, x2, y2, colour, shape_filled_box, style, flags);
}

}  // namespace gfx
