// Internal: a drawing target resolved to memory, and the screen's services
// that the drawing operations share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace gfx::detail {

// Rows top to bottom at `pitch` bytes, each holding `width` pixels of `bpp`
// bytes. The clip rectangle of every operation is the whole surface:
// (0, 0, width, height).
struct Surface {
    std::uint8_t* pixels = nullptr;
    std::int32_t width = 0, height = 0, pitch = 0, bpp = 0;
    std::int32_t page = -1;  // screen page index, or -1 for an Image

    std::uint8_t* row(std::int32_t y) const { return pixels + static_cast<std::ptrdiff_t>(y) * pitch; }
};

bool screen_is_open();
// Bytes per pixel of the open screen; 0 without one.
std::int32_t screen_bytes_per_pixel();
// A page of the open screen; nullopt without one or for a bad index.
std::optional<Surface> screen_page_surface(std::int32_t page);
std::int32_t screen_page_count();
// Index of the page the display shows; -1 without a screen. Program thread.
std::int32_t screen_visible_page();

// The caller holds the display lock. When `target` is the page now visible,
// sets the row-changed flags of rows first..last (clipped to the page).
void mark_rows_changed(const Surface& target, std::int32_t first, std::int32_t last);

// Marks a key held in the key table at once, under the display lock, as the
// next sample would (the Headless back end's key presses).
void screen_press_key(std::int32_t scan_code);
// Sets a key's entry at once, as a sample would; for runs whose input is
// scripted against a driven clock.
void screen_set_key(std::int32_t scan_code, bool down);

// The palette table of picture loading: 256 entries of red, green, blue, all
// 0 when a screen opens. The caller holds the display lock.
std::array<std::array<std::uint8_t, 3>, 256>& palette_table();

}  // namespace gfx::detail
