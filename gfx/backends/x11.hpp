// The "X11" display back end, on Xlib.
//
// The changed span of rows goes to the window with the MIT shared-memory
// extension, or with plain image transfers where the extension is missing
// (a remote display). A window has a client area of exactly the page's size,
// centred on the screen, with size hints that forbid resizing; its close
// button is accepted and ignored. Full screen is a borderless window covering
// the screen (the window manager is asked through _NET_WM_STATE_FULLSCREEN),
// the page centred and scaled by the largest whole factor that fits; it fails
// to open on a screen smaller than the page. Key numbers are the X keycodes
// of the evdev keymap (Linux input codes + 8).
//
// Threads: the display connection is opened, used and closed on the screen's
// update thread only. While a back end is open, X errors on its connection
// are recorded rather than ending the process; errors on other connections go
// to the handler that was installed before.
#pragma once

#include <memory>

#include "gfx/display.hpp"

namespace gfx::detail {

std::unique_ptr<Backend> make_x11_backend();

// The default screen's size and depth; refresh 0 (not known). False when no
// display can be opened. Opens a connection of its own on the calling thread.
bool x11_desktop_info(DesktopInfo& info);

}  // namespace gfx::detail
