// The "SDL" and "OpenGL" display back ends, on the SDL2 library.
//
// "SDL" shows the page through SDL's own choice of renderer (accelerated
// where the machine has one). Full screen is a borderless window covering
// the desktop, without a display-mode change, the page scaled by nearest
// neighbour and centred between black bars: by the largest whole factor when
// the desktop holds at least twice the page each way, otherwise by the
// largest factor that fits. A window has a client area of exactly the page's
// size, centred on the desktop and not resizable. It refuses to open when SDL
// can find no real display (only its off-screen or dummy video drivers), so
// the next back end is tried.
//
// "OpenGL" is the same window drawn through SDL's OpenGL renderer; it fails
// to open where no OpenGL renderer can be created.
//
// Threads: every SDL call is made on the screen's update thread, which
// initialises SDL's video subsystem on open and quits it on close.
#pragma once

#include <memory>

#include "gfx/display.hpp"

namespace gfx::detail {

std::unique_ptr<Backend> make_sdl_backend();
std::unique_ptr<Backend> make_opengl_backend();

// The desktop's size, depth and refresh rate as SDL sees them; false without
// a display. Runs SDL on a short-lived thread of its own, so it must not be
// called while a screen is open on an SDL back end.
bool sdl_desktop_info(DesktopInfo& info);

}  // namespace gfx::detail
