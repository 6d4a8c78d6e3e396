#include "intro/flow.hpp"

#include <cstdio>

#include "gfx/screen.hpp"
#include "runtime/start.hpp"

namespace intro {

int run(int argc, char** argv) {
    runtime::runtime_start(argc, argv);
    if (gfx::screen_open(640, 480, 32, 2, gfx::screen_full_screen, 0) != gfx::Status::Ok) {
        std::fprintf(stderr, "intro: cannot open a display (%s)\n", gfx::screen_open_failure().c_str());
        return 1;
    }
    gfx::set_mouse_cursor(0, 0, 0, -1);
    gfx::set_mouse_cursor(0, 0, 1, -1);
    return 0;
}

}  // namespace intro
