#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "gfx/draw_state.hpp"
#include "gfx/primitives.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"

namespace gfx {
namespace {

using detail::Surface;

// One maximal run of non-border pixels of a row, inclusive columns.
struct FillSpan {
    std::int32_t row = 0, left = 0, right = 0;
    std::int32_t next_in_row = -1;  // index in the pool; -1 ends the row's list
};

constexpr std::int32_t no_span = -1;

// The search's records. Spans live in one pool, appended in the order they
// are recorded; since the work queue is first-in first-out and takes every
// recorded span once, its order is the pool's order, and the queue is just
// an index running along the pool.
struct SpanSet {
    std::vector<FillSpan> pool;
    std::vector<std::int32_t> row_heads;      // one list per row, newest first
    std::vector<std::uint64_t> recorded;      // one bit per pixel covered by a recorded span
    std::int32_t width = 0;

    bool covered(std::int32_t x, std::int32_t y) const {
        const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
        return ((recorded[i >> 6] >> (i & 63)) & 1u) != 0;
    }

    // The first column from x to `last` that no recorded span covers, or
    // last + 1; whole words of covered pixels are passed at once.
    std::int32_t next_uncovered(std::int32_t x, std::int32_t last, std::int32_t y) const {
        const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        std::size_t i = row + static_cast<std::size_t>(x);
        const std::size_t end = row + static_cast<std::size_t>(last) + 1;
        while (i < end) {
            const std::uint64_t open = ~recorded[i >> 6] >> (i & 63);
            if (open != 0) {
                i += static_cast<std::size_t>(std::countr_zero(open));
                break;
            }
            i = (i | 63) + 1;
        }
        return static_cast<std::int32_t>(std::min(i, end) - row);
    }

    void cover(std::int32_t left, std::int32_t right, std::int32_t y) {
        std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(left);
        const std::size_t end = i + static_cast<std::size_t>(right - left) + 1;
        for (; i < end && (i & 63) != 0; ++i) recorded[i >> 6] |= std::uint64_t{1} << (i & 63);
        for (; i + 64 <= end; i += 64) recorded[i >> 6] = ~std::uint64_t{0};
        for (; i < end; ++i) recorded[i >> 6] |= std::uint64_t{1} << (i & 63);
    }

    void record(std::int32_t row, std::int32_t left, std::int32_t right) {
        // Links are 32-bit indices; a pool beyond them counts as memory not had.
        if (pool.size() >= static_cast<std::size_t>(INT32_MAX)) throw std::bad_alloc();
        pool.push_back(FillSpan{row, left, right, row_heads[static_cast<std::size_t>(row)]});
        row_heads[static_cast<std::size_t>(row)] = static_cast<std::int32_t>(pool.size() - 1);
        cover(left, right, row);
    }
};

template <typename Pixel>
Pixel load(const std::uint8_t* row, std::int32_t x) {
    Pixel v;
    std::memcpy(&v, row + static_cast<std::ptrdiff_t>(x) * static_cast<std::ptrdiff_t>(sizeof(Pixel)), sizeof(Pixel));
    return v;
}

// The search draws nothing; it only reads the target. Spans of one row are
// maximal runs, so two of them are either the same span or disjoint: a pixel
// already covered by a recorded span means that span would be found again,
// and the duplicate is skipped without scanning it a second time.
template <typename Pixel>
void search(const Surface& s, Pixel border, std::int32_t px, std::int32_t py, SpanSet& set) {
    const std::int32_t r = s.width - 1;

    auto find_and_record = [&](const std::uint8_t* row_pixels, std::int32_t y, std::int32_t x) {
        std::int32_t left = x;
        while (left > 0 && load<Pixel>(row_pixels, left - 1) != border) --left;
        std::int32_t right = x;
        while (right < r && load<Pixel>(row_pixels, right + 1) != border) ++right;
        set.record(y, left, right);
        return right;
    };

    auto scan = [&](std::int32_t y, std::int32_t left, std::int32_t right) {
        const std::uint8_t* row_pixels = s.row(y);
        std::int32_t x = left;
        while (x <= right) {
            if (set.covered(x, y)) {
                x = set.next_uncovered(x, right, y);
            } else if (load<Pixel>(row_pixels, x) == border) {
                ++x;
            } else {
                x = find_and_record(row_pixels, y, x) + 2;
            }
        }
    };

    find_and_record(s.row(py), py, px);
    for (std::size_t next = 0; next < set.pool.size(); ++next) {
        const FillSpan span = set.pool[next];
        if (span.row - 1 >= 0) scan(span.row - 1, span.left, span.right);
        if (span.row + 1 < s.height) scan(span.row + 1, span.left, span.right);
    }
}

// Mode 1: pixel (x, y) takes pixel x mod 8 of tile row y mod 8, the tile
// being the pattern's first 256 bytes (zero beyond its end) read as 8 rows
// of 8 pixels of the target's size.
void fill_pattern(const Surface& s, const FillSpan& span, const std::uint8_t (&tile)[256]) {
    const std::uint8_t* tile_row = tile + static_cast<std::ptrdiff_t>(span.row & 7) * 8 * s.bpp;
    std::uint8_t* p = s.row(span.row) + static_cast<std::ptrdiff_t>(span.left) * s.bpp;
    for (std::int32_t x = span.left; x <= span.right; ++x, p += s.bpp) {
        std::memcpy(p, tile_row + static_cast<std::ptrdiff_t>(x & 7) * s.bpp, static_cast<std::size_t>(s.bpp));
    }
}

}  // namespace

void flood_fill(Image* target, float x, float y, Color colour, Color border, std::string_view pattern,
                std::int32_t mode, std::int32_t flags) {
    const auto s = detail::make_current(target);
    if (!s) return;
    const Color fill = detail::prepare_colour(*s, colour, flags);
    const Color edge = (flags & flag_no_border) != 0 ? fill : detail::prepare_colour(*s, border, 0);
    const bool patterned = mode == 1;
    std::uint8_t tile[256] = {};
    if (patterned && !pattern.empty()) {
        std::memcpy(tile, pattern.data(), std::min<std::size_t>(pattern.size(), sizeof tile));
    }
    detail::apply_coord_mode(flags, x, y);
    const std::int32_t px = detail::to_pixel(x), py = detail::to_pixel(y);
    if (px < 0 || py < 0 || px >= s->width || py >= s->height) return;
    if (detail::get_pixel(*s, px, py) == edge) return;

    SpanSet set;
    try {
        set.width = s->width;
        set.row_heads.assign(static_cast<std::size_t>(s->height), no_span);
        const std::size_t pixels = static_cast<std::size_t>(s->width) * static_cast<std::size_t>(s->height);
        set.recorded.assign((pixels + 63) / 64, 0);
        switch (s->bpp) {
            case 4: search<std::uint32_t>(*s, edge, px, py, set); break;
            case 2: search<std::uint16_t>(*s, static_cast<std::uint16_t>(edge), px, py, set); break;
            default: search<std::uint8_t>(*s, static_cast<std::uint8_t>(edge), px, py, set); break;
        }
    } catch (const std::bad_alloc&) {
        // Nothing has been written yet: without the memory the fill is dropped whole.
        return;
    }

    DisplayLock lock;
    for (std::int32_t row = 0; row < s->height; ++row) {
        std::int32_t i = set.row_heads[static_cast<std::size_t>(row)];
        if (i == no_span) continue;
        for (; i != no_span; i = set.pool[static_cast<std::size_t>(i)].next_in_row) {
            const FillSpan& span = set.pool[static_cast<std::size_t>(i)];
            if (patterned) {
                fill_pattern(*s, span, tile);
            } else {
                detail::fill_span(s->row(row) + static_cast<std::ptrdiff_t>(span.left) * s->bpp, fill,
                                  span.right - span.left + 1, s->bpp);
            }
        }
        detail::mark_rows_changed(*s, row, row);
    }
}

}  // namespace gfx
