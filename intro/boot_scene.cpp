#include "intro/boot_scene.hpp"

#include "gfx/blit.hpp"
#include "gfx/primitives.hpp"
#include "gfx/screen.hpp"
#include "gfx/text.hpp"
#include "runtime/clock.hpp"
#include "runtime/random.hpp"
#include "runtime/start.hpp"

namespace intro {
namespace {

constexpr gfx::Color light_blue = 0xFF7F7FD7u;
constexpr gfx::Color dark_blue = 0xFF32327Fu;
constexpr std::int32_t solid = 0xFFFF;
constexpr std::int32_t absolute = 4;
constexpr std::int32_t escape = 1;

void text(gfx::Image* canvas, float x, float y, std::string_view line) {
    gfx::draw_text(canvas, x, y, absolute, line, light_blue, nullptr, gfx::BlitMode::Transparent);
}

void whole(gfx::Image* target, float x, float y, const gfx::Image* source, gfx::BlitMode mode, std::int32_t alpha) {
    gfx::blit(target, x, y, source, gfx::whole_source, gfx::whole_source, gfx::whole_source, gfx::whole_source, 0,
              mode, alpha);
}

void place_on_screen(const BootImages& images) {
    whole(nullptr, 99, 64, images.boot_canvas, gfx::BlitMode::Transparent, -1);
    whole(nullptr, 0, 0, images.frame_picture, gfx::BlitMode::Transparent, -1);
    whole(nullptr, 380, 100, images.glow_picture, gfx::BlitMode::Blend, 66);
}

void draw_cursor(const BootScene& scene, gfx::Image* canvas) {
    gfx::fill_box(canvas, static_cast<float>(scene.cursor_x), static_cast<float>(scene.cursor_y),
                  static_cast<float>(scene.cursor_x + 8), static_cast<float>(scene.cursor_y + 8), light_blue, solid, 0);
}

void type_one_character(BootScene& scene) {
    scene.typed_count += 1;
    if (scene.boot_tick < 14) scene.load_line = runtime::text_left(scene.type_source, scene.typed_count);
    if (scene.boot_tick > 16) scene.run_line = runtime::text_left(scene.type_source, scene.typed_count);
    if (scene.typed_count == runtime::text_length(scene.type_source)) scene.line_done = 1;
    scene.cursor_x += 8;
}

}  // namespace

// At most one tick a frame, where the clock passes a whole second.
bool boot_apply_tick_rule(BootScene& scene) {
    if (runtime::clock_seconds() < scene.second_mark + 1.0) return false;
    scene.second_mark = runtime::round_even(runtime::clock_seconds());
    scene.boot_tick += 1;
    return true;
}

BootScene boot_scene_setup() {
    BootScene scene;
    scene.second_mark = runtime::round_even(runtime::clock_seconds());
    scene.blink_time = runtime::clock_seconds();
    scene.type_source = "LOAD \"*\",8,1";
    return scene;
}

void boot_noise_frame(BootScene& scene, const BootImages& images) {
    gfx::screen_set_pages(scene.page, 1 - scene.page);
    // One random number a pixel, column by column.
    for (std::int32_t x = 0; x <= 63; ++x) {
        for (std::int32_t y = 0; y <= 63; ++y) {
            const auto g = static_cast<std::uint32_t>(runtime::round_even(runtime::random_unit(1.0f) * 255.0));
            const gfx::Color grey = 0xFF000000u | (g << 16) | (g << 8) | g;
            gfx::draw_point(images.noise_tile, static_cast<float>(x), static_cast<float>(y), grey, absolute, 0);
        }
    }
    for (std::int32_t x = 0; x <= 420; x += 64) {
        for (std::int32_t y = 0; y <= 322; y += 64) {
            whole(images.boot_canvas, static_cast<float>(x), static_cast<float>(y), images.noise_tile,
                  gfx::BlitMode::Copy, -1);
        }
    }
    place_on_screen(images);
    boot_apply_tick_rule(scene);
    scene.page = 1 - scene.page;
}

void boot_noise_phase(BootScene& scene, const BootImages& images) {
    while (scene.boot_tick <= 3) boot_noise_frame(scene, images);
}

bool boot_screen_frame(BootScene& scene, const BootImages& images) {
    gfx::Image* canvas = images.boot_canvas;
    gfx::screen_set_pages(scene.page, 1 - scene.page);

    gfx::fill_box(canvas, 20, 20, 420, 322, light_blue, solid, 0);
    gfx::draw_box(canvas, 20, 20, 420, 322, dark_blue, solid, 0);
    gfx::fill_box(canvas, 60, 60, 380, 282, dark_blue, solid, 0);
    text(canvas, 61, 68, "    **** COMMODORE 64 BASIC V2 ****     ");
    text(canvas, 61, 84, " 64K RAM SYSTEM  38911 BASIC BYTES FREE ");
    text(canvas, 61, 100, "READY.");
    text(canvas, 61, 108, scene.load_line.view());

    if (runtime::clock_seconds() >= scene.blink_time + 0.33) {
        scene.cursor_on = 1 - scene.cursor_on;
        scene.blink_time = runtime::clock_seconds();
    }
    if (scene.cursor_on == 1 && scene.line_done == 0) draw_cursor(scene, canvas);

    if (boot_apply_tick_rule(scene) && scene.line_done == 0 && scene.boot_tick > 0) type_one_character(scene);

    if (scene.boot_tick > 12) text(canvas, 61, 132, "SEARCHING FOR *");
    if (scene.boot_tick > 14) text(canvas, 61, 140, "LOADING");
    if (scene.boot_tick > 16) {
        text(canvas, 61, 148, "READY.");
        if (scene.line_done == 1 && scene.boot_tick == 17) {
            scene.typed_count = 0;
            scene.type_source = "RUN";
            scene.cursor_x = 61;
            scene.cursor_y = 156;
            scene.line_done = 0;
        }
    }
    if (scene.boot_tick > 16) text(canvas, 61, 156, scene.run_line.view());
    if (scene.cursor_on == 1 && scene.line_done == 0) draw_cursor(scene, canvas);

    if (scene.boot_tick > 20) {
        // The colour itself, alpha 0: a key-coloured flash makes the ring see-through.
        const auto flash = static_cast<gfx::Color>(runtime::round_even(runtime::random_unit(1.0f) * 16777215.0));
        gfx::flood_fill(canvas, 21, 21, flash, dark_blue, "", 0, absolute);
    }
    place_on_screen(images);
    // The last frame is not followed by the toggle.
    if (scene.boot_tick > 23) return false;
    scene.page = 1 - scene.page;
    return true;
}

void boot_screen_phase(BootScene& scene, const BootImages& images) {
    while (gfx::key_down(escape) != -1) {
        if (!boot_screen_frame(scene, images)) return;
    }
}

void boot_scene_release(BootScene& scene) {
    scene.type_source = {};
    scene.load_line = {};
    scene.run_line = {};
}

}  // namespace intro
