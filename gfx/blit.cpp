#include "gfx/blit.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "gfx/draw_state.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"

namespace gfx {
namespace {

// Integer corner arithmetic wraps instead of overflowing: the corners come
// straight from the caller and may be anything.
std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

struct Span1D {
    std::int64_t first, count;
};

// Orders and clamps one axis of the source rectangle into 0..size - 1.
Span1D source_span(std::int32_t a, std::int32_t b, std::int32_t size) {
    if (a > b) std::swap(a, b);
    const std::int32_t lo = std::clamp(a, 0, size - 1);
    const std::int32_t hi = std::clamp(b, 0, size - 1);
    return {lo, static_cast<std::int64_t>(hi) - lo + 1};
}

bool ranges_overlap(const std::uint8_t* a, std::size_t a_len, const std::uint8_t* b, std::size_t b_len) {
    const auto a0 = reinterpret_cast<std::uintptr_t>(a), b0 = reinterpret_cast<std::uintptr_t>(b);
    return a0 < b0 + b_len && b0 < a0 + a_len;
}

std::size_t rect_extent(std::int64_t w, std::int64_t h, std::int32_t pitch) {
    return static_cast<std::size_t>((h - 1) * pitch + w * 4);
}

}  // namespace

Status blit(Image* target, float x, float y, const Image* source, std::int32_t x1, std::int32_t y1, std::int32_t x2,
            std::int32_t y2, std::int32_t coord_mode, BlitMode mode, std::int32_t alpha) {
    if (!detail::screen_is_open() || source == nullptr) return Status::IllegalCall;
    const std::optional<detail::Surface> surface = detail::make_current(target);
    if (!surface) return Status::IllegalCall;

    detail::DrawState& state = detail::draw_state();
    const bool relative_position = coord_mode == 2 || coord_mode == 3;
    const bool relative_corner = coord_mode == 1 || coord_mode == 3;
    if (relative_position) {
        x += state.last_x;
        y += state.last_y;
    }
    state.last_x = x;
    state.last_y = y;
    if (relative_corner) {
        x2 = wrapping_add(x2, x1);
        y2 = wrapping_add(y2, y1);
    }
    std::int64_t px = detail::to_pixel(x);
    std::int64_t py = detail::to_pixel(y);

    const auto geometry = detail::image_source_geometry(*source, surface->bpp);
    if (!geometry || geometry->bpp != surface->bpp) return Status::IllegalCall;
    // The mode formulas exist for 4-byte pixels only; refusing other sizes
    // beats reading them as if they were.
    if (surface->bpp != 4 || !is_blit_mode(mode)) return Status::IllegalCall;
    if (geometry->width <= 0 || geometry->height <= 0) return Status::Ok;

    std::int64_t sx = 0, sy = 0, w = geometry->width, h = geometry->height;
    if (x1 != whole_source) {
        const Span1D cols = source_span(x1, x2, geometry->width);
        const Span1D rows = source_span(y1, y2, geometry->height);
        sx = cols.first;
        w = cols.count;
        sy = rows.first;
        h = rows.count;
    }
    if (w <= 0 || h <= 0) return Status::Ok;

    // 64-bit, so a position near the 32-bit limits cannot wrap into view.
    const std::int64_t left = 0, top = 0, right = surface->width, bottom = surface->height;
    if (px + w <= left || px >= right || py + h <= top || py >= bottom) return Status::Ok;
    if (py < top) {
        sy += top - py;
        h -= top - py;
        py = top;
    }
    if (py + h > bottom) h = bottom - py;
    if (px < left) {
        sx += left - px;
        w -= left - px;
        px = left;
    }
    if (px + w > right) w = right - px;

    const std::uint8_t* src = source->block.get() + geometry->header + sy * geometry->pitch + sx * 4;
    std::uint8_t* dst = surface->row(static_cast<std::int32_t>(py)) + px * 4;
    std::int32_t src_pitch = geometry->pitch;

    // An Image drawn onto itself: reading the rectangle out first makes every
    // mode and every row routine give the same result as from a copy.
    std::unique_ptr<std::uint8_t[]> detached;
    if (target == source &&
        ranges_overlap(src, rect_extent(w, h, src_pitch), dst, rect_extent(w, h, surface->pitch))) {
        const std::size_t row_bytes = static_cast<std::size_t>(w) * 4;
        detached.reset(new (std::nothrow) std::uint8_t[row_bytes * static_cast<std::size_t>(h)]);
        if (!detached) return Status::IllegalCall;
        for (std::int64_t row = 0; row < h; ++row) {
            std::memcpy(detached.get() + row * row_bytes, src + row * src_pitch, row_bytes);
        }
        src = detached.get();
        src_pitch = static_cast<std::int32_t>(row_bytes);
    }

    DisplayLock lock;
    detail::blit_rows(mode, src, dst, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), src_pitch,
                      surface->pitch, alpha);
    detail::mark_rows_changed(*surface, static_cast<std::int32_t>(py), static_cast<std::int32_t>(py + h - 1));
    return Status::Ok;
}

}  // namespace gfx
