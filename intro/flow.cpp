#include "intro/flow.hpp"

#include <cstdio>

#include "gfx/screen.hpp"
#include "intro/boot_scene.hpp"
#include "intro/credits.hpp"
#include "intro/demo_scene.hpp"
#include "intro/images.hpp"
#include "runtime/start.hpp"

namespace intro {
namespace {

Stage g_stage = Stage::Ended;

// Images left to the process's end. They stay reachable here; a second run
// in the same process (tests, capture) frees the first run's before making its own.
BootImages g_boot_images;
gfx::Image* g_font_image = nullptr;

void free_leftovers() {
    gfx::image_destroy(g_boot_images.boot_canvas);
    gfx::image_destroy(g_boot_images.frame_picture);
    gfx::image_destroy(g_boot_images.glow_picture);
    gfx::image_destroy(g_boot_images.noise_tile);
    gfx::image_destroy(g_font_image);
    g_boot_images = {};
    g_font_image = nullptr;
}

}  // namespace

Stage current_stage() { return g_stage; }

int run(int argc, char** argv) {
    g_stage = Stage::Startup;
    runtime::runtime_start(argc, argv);
    if (gfx::screen_open(640, 480, 32, 2, gfx::screen_full_screen, 0) != gfx::Status::Ok) {
        std::fprintf(stderr, "intro: no display could be opened (%s)\n", gfx::screen_open_failure().c_str());
        g_stage = Stage::Ended;
        return 1;
    }
    gfx::set_mouse_cursor(0, 0, 0, -1);

    free_leftovers();
    BootImages& boot_images = g_boot_images;
    boot_images = boot_images_create();
    BootScene boot = boot_scene_setup();
    noise_tile_create(boot_images);
    g_stage = Stage::Noise;
    boot_noise_phase(boot, boot_images);
    frame_picture_reload(boot_images);
    boot.boot_tick = -5;
    g_stage = Stage::Boot;
    boot_screen_phase(boot, boot_images);
    boot_scene_release(boot);

    g_stage = Stage::DemoSetup;
    g_font_image = font_image_create();
    gfx::set_window_title(credit_line);
    DemoImages demo_images = demo_images_create();
    DemoScene demo = demo_scene_setup(demo_images);
    g_stage = Stage::Demo;
    demo_scene_run(demo, demo_images, g_font_image);

    g_stage = Stage::Shutdown;
    gfx::set_mouse_cursor(0, 0, 1, -1);
    demo_images_release(demo_images);
    demo_scene_release(demo);
    g_stage = Stage::Ended;
    return 0;
}

}  // namespace intro
