#include "gfx/text.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "gfx/blit.hpp"
#include "gfx/draw_state.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"

namespace gfx {
namespace {

constexpr std::int64_t cell = 8;

// Positions and pens are 64-bit: X comes saturated from to_pixel and a text
// may be long, so X + 8 i and the pen must not wrap into view.
Status draw_builtin(const detail::Surface& s, std::int64_t x, std::int64_t y, std::string_view text, Color colour) {
    const std::int64_t count = static_cast<std::int64_t>(std::min<std::size_t>(text.size(), INT64_MAX / cell - INT32_MAX));
    if (y + cell <= 0 || y >= s.height || x >= s.width || x + cell * count <= 0) return Status::Ok;

    // Characters wholly left of the target are skipped by arithmetic, and the
    // loop ends at the first cell that starts at or past the right edge, so a
    // long text costs only what is visible of it.
    const std::int64_t first = x < 0 ? -x / cell : 0;
    const std::int32_t row_first = static_cast<std::int32_t>(std::max<std::int64_t>(y, 0));
    const std::int32_t row_last = static_cast<std::int32_t>(std::min<std::int64_t>(y + cell - 1, s.height - 1));

    DisplayLock lock;
    for (std::int64_t i = first; i < count; ++i) {
        const std::int64_t left = x + cell * i;
        if (left >= s.width) break;
        const std::uint8_t* glyph = detail::builtin_font + 8 * static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
        const std::int32_t k_first = static_cast<std::int32_t>(std::max<std::int64_t>(0, -left));
        const std::int32_t k_end = static_cast<std::int32_t>(std::min<std::int64_t>(cell, s.width - left));
        for (std::int32_t py = row_first; py <= row_last; ++py) {
            const std::uint8_t bits = glyph[py - y];
            if (bits == 0) continue;
            for (std::int32_t k = k_first; k < k_end; ++k) {
                if ((bits >> k) & 1) detail::set_pixel(s, static_cast<std::int32_t>(left + k), py, colour);
            }
        }
    }
    detail::mark_rows_changed(s, row_first, row_last);
    return Status::Ok;
}

struct Glyph {
    std::int32_t width = 0;
    std::int32_t start = 0;    // first column in the glyph area
    std::int32_t advance = 0;  // the pen's move: the width, or h without a glyph
    bool present = false;
};

Status draw_font(const detail::Surface& s, Image* target, std::int64_t x, std::int64_t y, std::string_view text,
                 Color colour, const Image& font, BlitMode mode) {
    const auto g = detail::image_source_geometry(font, s.bpp);
    if (!g) return Status::IllegalCall;
    const std::int64_t h = static_cast<std::int64_t>(g->height) - 1;
    if (y + h <= 0 || y >= s.height) return Status::Ok;

    const std::uint8_t* data = font.block.get() + g->header;
    // The row routines handle 4-byte pixels only.
    if (g->bpp != s.bpp || s.bpp != 4 || g->pitch <= 3 || h <= 0 || data[0] != 0) return Status::IllegalCall;
    if (!is_blit_mode(mode)) return Status::IllegalCall;
    // The glyph rows and the target rows would be the same memory, and the
    // row routines read and write them as apart.
    if (target == &font) return Status::IllegalCall;

    std::int32_t first = data[1], last = data[2];
    if (first > last) std::swap(first, last);
    // The widths must lie inside the Image, whatever the header claims.
    const std::int64_t header_bytes = 3 + (last - first + 1);
    if (header_bytes > static_cast<std::int64_t>(g->height) * g->pitch) return Status::IllegalCall;

    std::array<Glyph, 256> glyphs;
    glyphs.fill(Glyph{0, 0, static_cast<std::int32_t>(h), false});
    std::int64_t sum = 0;
    for (std::int32_t c = first; c <= last; ++c) {
        const std::int32_t width = data[3 + (c - first)];
        glyphs[static_cast<std::size_t>(c)] = {width, static_cast<std::int32_t>(sum), width, true};
        sum += width;
    }
    const std::int32_t display_bpp = detail::screen_bytes_per_pixel();
    if (sum > g->pitch / std::max(display_bpp, g->bpp)) return Status::IllegalCall;

    const std::int64_t t = y < 0 ? -y : 0;
    const std::int64_t v = std::min<std::int64_t>(y + h, s.height) - (y + t);
    const std::uint8_t* glyph_rows = data + static_cast<std::ptrdiff_t>(1 + t) * g->pitch;
    std::uint8_t* target_row = s.row(static_cast<std::int32_t>(y + t));

    // Widths vary, so characters left of the target cannot be skipped by
    // arithmetic; this loop only adds up their advances.
    std::int64_t pen = x;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const std::int32_t advance = glyphs[static_cast<unsigned char>(text[i])].advance;
        if (pen + advance > 0) break;
        pen += advance;
    }

    DisplayLock lock;
    for (; i < text.size(); ++i) {
        if (pen >= s.width) break;
        const Glyph& glyph = glyphs[static_cast<unsigned char>(text[i])];
        if (!glyph.present) {
            // The full glyph height, cut at the top or bottom or not, so a
            // text keeps its spacing wherever it lies.
            pen += h;
            continue;
        }
        const std::int64_t left = std::max<std::int64_t>(pen, 0);
        const std::int64_t right = std::min<std::int64_t>(pen + glyph.width, s.width);
        if (right > left) {
            detail::blit_rows(mode, glyph_rows + (glyph.start + (left - pen)) * 4, target_row + left * 4,
                              static_cast<std::int32_t>(right - left), static_cast<std::int32_t>(v), g->pitch,
                              s.pitch, static_cast<std::int32_t>(colour));
        }
        pen += glyph.width;
    }
    detail::mark_rows_changed(s, static_cast<std::int32_t>(y + t), static_cast<std::int32_t>(y + t + v - 1));
    return Status::Ok;
}

}  // namespace

Status draw_text(Image* target, float x, float y, std::int32_t flags, std::string_view text, Color colour,
                 const Image* font, BlitMode mode) {
    if (text.data() == nullptr) return Status::IllegalCall;
    if (!detail::screen_is_open() || text.empty()) return Status::Ok;
    const std::optional<detail::Surface> s = detail::make_current(target);
    if (!s) return Status::IllegalCall;
    colour = detail::prepare_colour(*s, colour, flags);
    detail::apply_coord_mode(flags, x, y);
    const std::int64_t px = detail::to_pixel(x), py = detail::to_pixel(y);
    if (font == nullptr) return draw_builtin(*s, px, py, text, colour);
    return draw_font(*s, target, px, py, text, colour, *font, mode);
}

}  // namespace gfx
