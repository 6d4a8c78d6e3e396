#include "gfx/display.hpp"

#include "gfx/backends/headless.hpp"
#if INTRO_HAVE_SDL
#include "gfx/backends/sdl.hpp"
#endif
#if INTRO_HAVE_X11
#include "gfx/backends/x11.hpp"
#endif

namespace gfx::detail {

std::span<const BackendEntry> backend_table() {
    static const BackendEntry table[] = {
#if INTRO_HAVE_SDL
        {"SDL", make_sdl_backend, 0, false, sdl_desktop_info},
#endif
#if INTRO_HAVE_X11
        {"X11", make_x11_backend, 0, false, x11_desktop_info},
#endif
#if INTRO_HAVE_SDL
        {"OpenGL", make_opengl_backend, 2, false, nullptr},
#endif
        {"Headless", make_headless_backend, 0, true, nullptr},
    };
    return table;
}

}  // namespace gfx::detail
