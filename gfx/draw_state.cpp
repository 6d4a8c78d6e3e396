#include "gfx/draw_state.hpp"

#include <cmath>

namespace gfx::detail {

DrawState& draw_state() {
    thread_local DrawState state;
    return state;
}

void draw_state_reset() { draw_state() = DrawState{}; }

std::optional<Surface> make_current(Image* target) {
    if (!screen_is_open()) return std::nullopt;
    if (target == nullptr) return screen_page_surface(draw_state().work_page);
    const auto g = image_target_geometry(*target, screen_bytes_per_pixel());
    if (!g) return std::nullopt;
    return Surface{target->block.get() + g->header, g->width, g->height, g->pitch, g->bpp, -1};
}

std::int32_t to_pixel(float v) {
    if (std::isnan(v)) return 0;
    const double d = v;
    const double rounded = d > 0 ? std::trunc(d + 0.5) : std::trunc(d - 0.5);
    if (rounded >= 2147483647.0) return INT32_MAX;
    if (rounded <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(rounded);
}

void apply_coord_mode(std::int32_t flags, float& x1, float& y1) {
    DrawState& state = draw_state();
    const std::int32_t mode = flags & coord_mode_mask;
    if (mode == 2 || mode == 3 || mode == 5) {
        x1 += state.last_x;
        y1 += state.last_y;
    }
    state.last_x = x1;
    state.last_y = y1;
}

void apply_coord_mode(std::int32_t flags, float& x1, float& y1, float& x2, float& y2) {
    DrawState& state = draw_state();
    const std::int32_t mode = flags & coord_mode_mask;
    if (mode == 2 || mode == 3 || mode == 5) {
        x1 += state.last_x;
        y1 += state.last_y;
    }
    if (mode == 1 || mode == 3) {
        x2 += x1;
        y2 += y1;
    }
    state.last_x = x2;
    state.last_y = y2;
}

Color prepare_colour(const Surface& s, Color colour, std::int32_t flags, bool use_background) {
    if ((flags & flag_no_colour) != 0) colour = use_background ? draw_state().background : draw_state().foreground;
    switch (s.bpp) {
        case 2: return colour & 0xFFFFu;
        case 1: return colour & 0xFFu;
        default: return colour;
    }
}

void fill_span(std::uint8_t* dst, Color c, std::int32_t count, std::int32_t bpp) {
    if (count <= 0) return;
    // Byte offsets in size_t: count x 4 can pass the 32-bit range.
    const auto n = static_cast<std::size_t>(count);
    switch (bpp) {
        case 4: {
            // A plain store loop; compilers turn it into wide stores.
            auto* p = reinterpret_cast<std::uint32_t*>(dst);
            if (reinterpret_cast<std::uintptr_t>(dst) % alignof(std::uint32_t) == 0) {
                for (std::size_t i = 0; i < n; ++i) p[i] = c;
            } else {
                for (std::size_t i = 0; i < n; ++i) std::memcpy(dst + 4 * i, &c, 4);
            }
            break;
        }
        case 2: {
            const auto v = static_cast<std::uint16_t>(c);
            for (std::size_t i = 0; i < n; ++i) std::memcpy(dst + 2 * i, &v, 2);
            break;
        }
        default: std::memset(dst, static_cast<int>(c & 0xFF), n); break;
    }
}

}  // namespace gfx::detail
