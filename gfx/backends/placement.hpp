// Internal: where a full-screen back end puts the page on a larger (or
// smaller) output, centred with black bars around it.
#pragma once

#include <algorithm>
#include <cstdint>

namespace gfx::detail {

struct Placement {
    std::int32_t x = 0, y = 0;           // top-left corner on the output
    std::int32_t width = 0, height = 0;  // the page's size on the output
    // Whole-number factor, or 0 when the page is scaled by a fraction.
    std::int32_t factor = 0;

    // The output pixel column or row under the middle of page pixel `p`
    // (x and width, or y and height), for moving the pointer.
    static std::int32_t map(std::int32_t p, std::int32_t page_size, std::int32_t origin, std::int32_t size) {
        return origin + static_cast<std::int32_t>((2 * static_cast<std::int64_t>(p) + 1) * size / (2 * page_size));
    }
};

enum class Scaling {
    // The largest whole factor that fits; factor 0 (the page does not fit)
    // when the output is smaller than the page either way.
    Whole,
    // The largest whole factor when the output holds at least twice the
    // page each way, otherwise the largest factor (whole or not, also below
    // 1) that fits, keeping the page's proportions.
    WholeFromTwice,
};

// Centres the page on the output; odd leftovers put the extra pixel of bar
// on the right and bottom. All sizes positive.
constexpr Placement place_page(std::int32_t page_w, std::int32_t page_h, std::int32_t out_w, std::int32_t out_h,
                               Scaling scaling) {
    Placement p;
    const std::int32_t whole = std::min(out_w / page_w, out_h / page_h);
    if (scaling == Scaling::Whole || whole >= 2) {
        if (whole < 1) return p;
        p.factor = whole;
        p.width = page_w * whole;
        p.height = page_h * whole;
    } else if (static_cast<std::int64_t>(out_w) * page_h <= static_cast<std::int64_t>(out_h) * page_w) {
        // The width limits: the page spans the output's width.
        p.width = out_w;
        p.height = static_cast<std::int32_t>(static_cast<std::int64_t>(out_w) * page_h / page_w);
        p.factor = p.height == page_h ? 1 : 0;
    } else {
        p.height = out_h;
        p.width = static_cast<std::int32_t>(static_cast<std::int64_t>(out_h) * page_w / page_h);
        p.factor = p.width == page_w ? 1 : 0;
    }
    p.x = (out_w - p.width) / 2;
    p.y = (out_h - p.height) / 2;
    return p;
}

}  // namespace gfx::detail
