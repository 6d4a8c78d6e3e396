// The one screen: its pages, the visible page, the row-changed flags, the key
// table, and the display back end that shows it from an update thread.
//
// Threads: every operation here is called from the program's thread. The
// back end's update thread wakes about every 10 ms and, holding the display
// lock for the whole cycle, copies the rows of the visible page whose
// row-changed flag is set to the display, clears the flags, samples the keys
// (only while the window has the focus) and handles the window's messages.
// The program's thread holds the same lock for each drawing operation, each
// page switch, each key read and each pointer call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "gfx/types.hpp"
#include "runtime/text.hpp"

namespace gfx {

// Bit values of screen_open's flags.
inline constexpr std::uint32_t screen_full_screen = 1;     // full screen requested
inline constexpr std::uint32_t screen_opengl = 2;          // allow the "OpenGL" back end
inline constexpr std::uint32_t screen_fixed_mode = 4;      // no switching between full screen and window

// Opens the screen. Refused with IllegalCall (any open screen left as it is)
// when width <= 0, height <= 0 or depth is not 1, 2, 4, 8, 15, 16, 24 or 32.
// Depth 24 becomes 32; a page count below 1 becomes 1. An open screen is
// closed first. Every pixel of every page starts 0xFF000000; the calling
// thread's work page becomes 0 and its default colours 0xFFFFFFFF and
// 0xFF000000. The back ends are tried in table order (display.hpp), each with
// `refresh` and then with 0: pass 1 with `flags` as given, pass 2 with the
// full-screen bit toggled. Returns only after the update thread has taken the
// display or ended. IllegalCall and no screen when every back end failed
// (screen_open_failure tells why). The first successful open registers
// screen_close to run at process exit.
Status screen_open(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t page_count,
                   std::uint32_t flags, std::int32_t refresh);

// Restricts the next screen_open to the back end of this name (for example
// "Headless", which the normal search never picks). An empty name restores
// the normal search. Program thread, before screen_open.
void screen_request_backend(std::string_view name);

// One line naming each back end the last failed screen_open tried and why it
// failed; empty after a successful open.
std::string screen_open_failure();

// Makes `work` the page that drawing onto the screen goes to and `visible` the
// page the display shows. A negative argument leaves that page as it is; both
// negative make both 0; an index outside 0..page count - 1 is ignored. A
// change of the visible page sets every row-changed flag under the display
// lock, so the next update shows the whole page.
// Returns the previous work page in bits 0-7 and the previous visible page in
// bits 8-15; -1 (and nothing changed) when no screen is open.
std::int32_t screen_set_pages(std::int32_t work, std::int32_t visible);

struct DriverInfo {
    runtime::Text name;  // the back end's own short name; empty without a screen
    std::int32_t width = 0, height = 0, depth = 0;
    std::int32_t bytes_per_pixel = 0, pitch = 0;
    std::int32_t refresh_rate = 0;
};
// The back end's name and the screen's geometry; without a screen an empty
// name, the desktop's size where a back end can tell it, and 0 for bytes per
// pixel and pitch.
DriverInfo screen_driver_name();

// Keeps the first 127 characters as the window title and, with a screen
// open, hands it to the update thread, which shows it in the title bar.
// Never takes the display lock; call it without holding it. Before the first
// call the title is the executable's name (runtime_program_name).
void set_window_title(std::string_view title);
std::string window_title();

// Under the display lock. x >= 0 moves the pointer to the screen pixel
// (min(x, width - 1), y clamped to 0..height - 1); a negative x leaves it.
// cursor 0 hides the pointer over the display, > 0 shows it, < 0 leaves it.
// clip 0 frees the pointer, > 0 confines it to the display, < 0 leaves it.
// IllegalCall when no screen is open, else Ok. The update thread carries the
// request out at its next cycle.
Status set_mouse_cursor(std::int32_t x, std::int32_t y, std::int32_t cursor, std::int32_t clip);

// -1 while the key with this PC first-set scan code (0..127; Escape is 1) is
// held, else 0. Any other code, or no screen, gives 0. A press that was
// released before the next sample still reads as held until the sample after
// it, so a short tap is never lost. Reads under the display lock.
std::int32_t key_down(std::int32_t scan_code);

// Stops the update thread (waiting at most 1000 ms), gives the display back,
// then frees the pages and tables. Runs by itself at process exit.
void screen_close();

// Holds the display lock for the scope, so a caller can group several
// drawing operations; the operations inside then do not take it again.
// Re-entrant on one thread.
class DisplayLock {
public:
    DisplayLock();
    ~DisplayLock();
    DisplayLock(const DisplayLock&) = delete;
    DisplayLock& operator=(const DisplayLock&) = delete;
};

}  // namespace gfx
