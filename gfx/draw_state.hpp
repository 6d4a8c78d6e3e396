// Internal: the calling thread's drawing state, coordinate rules and pixel
// routines, shared by primitives, blits, text and picture loading.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>

#include "gfx/image.hpp"
#include "gfx/surface.hpp"
#include "gfx/types.hpp"

namespace gfx::detail {

struct DrawState {
    std::int32_t work_page = 0;
    float last_x = 0.0f, last_y = 0.0f;  // base of relative coordinates
    Color foreground = 0xFFFFFFFFu;
    Color background = 0xFF000000u;
};

// The calling thread's state, made at its first use.
DrawState& draw_state();
// Back to a fresh screen: work page 0, default colours, last point (0, 0).
void draw_state_reset();

// The target made current: nullptr is the screen's work page. nullopt when no
// screen is open or the Image's header describes geometry that does not fit
// its storage (see image_target_geometry).
std::optional<Surface> make_current(Image* target);

// A real coordinate to a pixel index, halves away from zero: 2.5 -> 3,
// -2.5 -> -3, -0.4 -> 0, 639.5 -> 640. Done in double so that values just
// below a half do not round up through float addition; saturates at the
// 32-bit range, NaN gives 0.
std::int32_t to_pixel(float v);

// Applies coordinate mode `flags & 7` to one or two points and sets the last
// point (to the second point when there is one, else to the first).
// Modes: 0, 4, 6, 7 absolute; 1 second relative to first; 2, 5 first relative
// to the last point; 3 both.
void apply_coord_mode(std::int32_t flags, float& x1, float& y1);
void apply_coord_mode(std::int32_t flags, float& x1, float& y1, float& x2, float& y2);

// The colour a primitive uses: with flag bit 31 the default (foreground, or
// background when `use_background`), otherwise `colour` converted to the
// target's pixel size (unchanged for 4 bytes, low bytes kept for 1 and 2).
Color prepare_colour(const Surface& s, Color colour, std::int32_t flags, bool use_background = false);

// Pixel routines, chosen by pixel size. Coordinates must lie inside the surface.
inline void set_pixel(const Surface& s, std::int32_t x, std::int32_t y, Color c) {
    std::uint8_t* p = s.row(y) + static_cast<std::ptrdiff_t>(x) * s.bpp;
    switch (s.bpp) {
        case 4: std::memcpy(p, &c, 4); break;
        case 2: { auto v = static_cast<std::uint16_t>(c); std::memcpy(p, &v, 2); break; }
        default: *p = static_cast<std::uint8_t>(c); break;
    }
}

inline Color get_pixel(const Surface& s, std::int32_t x, std::int32_t y) {
    const std::uint8_t* p = s.row(y) + static_cast<std::ptrdiff_t>(x) * s.bpp;
    switch (s.bpp) {
        case 4: { Color c; std::memcpy(&c, p, 4); return c; }
        case 2: { std::uint16_t v; std::memcpy(&v, p, 2); return v; }
        default: return *p;
    }
}

// Stores `c` into `count` consecutive pixels of size `bpp` from `dst`.
void fill_span(std::uint8_t* dst, Color c, std::int32_t count, std::int32_t bpp);

}  // namespace gfx::detail
