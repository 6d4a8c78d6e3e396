// The "Headless" display back end: a real back end with an update thread and
// a monitor that lives in memory, for tests and for rendering without a
// window system. It is opened only when asked for by name
// (screen_request_backend("Headless")), never as a fallback.
//
// The control functions below may be called from any thread; they act on the
// Headless back end of the open screen and do nothing without one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gfx/display.hpp"

namespace gfx {

struct HeadlessMonitor {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0xAARRGGBB as presented, row by row
};

// What the monitor shows now: updated only from the rows presented.
HeadlessMonitor headless_monitor();
// Number of present calls (cycles that found a changed row).
std::uint64_t headless_present_count();
// Waits until `cycles` more update cycles have run; false if no Headless
// screen is open or two seconds pass.
bool headless_wait_cycles(int cycles);

// Key events by PC first-set scan code (0..127). A press is latched: it reads
// as held at the next sample even if released before it.
void headless_press_key(int scan_code);
void headless_release_key(int scan_code);
// Sets a key down or up with immediate effect on key_down and no latch, for
// runs scripted against a driven clock (the result does not depend on when
// the update thread samples). Program thread.
void headless_set_key_now(int scan_code, bool down);
// The window gains or loses the focus (it starts with the focus).
void headless_set_focus(bool focused);
// Asks for a switch between full screen and window, as Alt+Enter would.
void headless_request_toggle();

// What the back end was last told, for tests.
struct HeadlessWindow {
    bool open = false;
    bool full_screen = false;
    std::string title;
    std::int32_t pointer_x = -1, pointer_y = -1;
    bool pointer_hidden = false;
    bool pointer_confined = false;
    int opens = 0;  // successful opens, mode switches included
};
HeadlessWindow headless_window();

namespace detail {
std::unique_ptr<Backend> make_headless_backend();
}

}  // namespace gfx
