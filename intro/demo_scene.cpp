#include "intro/demo_scene.hpp"

#include <algorithm>
#include <cmath>

#include "gfx/blit.hpp"
#include "gfx/primitives.hpp"
#include "gfx/screen.hpp"
#include "gfx/text.hpp"
#include "intro/credits.hpp"
#include "runtime/clock.hpp"
#include "runtime/random.hpp"
#include "runtime/start.hpp"

namespace intro {
namespace {

constexpr gfx::Color status_green = 0xFF00FF00u;
constexpr std::int32_t solid = 0xFFFF;
constexpr std::int32_t absolute = 4;
constexpr std::int32_t escape = 1;

std::int32_t random_pick(double scale, double offset = 0.0) {
    return runtime::round_even(runtime::random_unit(1.0f) * scale + offset);
}

void respawn_fields(Star& star) {
    star.y = random_pick(480);
    star.length = 100;
    star.speed = random_pick(10, 10);
}

void whole(float x, float y, const gfx::Image* source, gfx::BlitMode mode, std::int32_t alpha) {
    gfx::blit(nullptr, x, y, source, gfx::whole_source, gfx::whole_source, gfx::whole_source, gfx::whole_source, 0,
              mode, alpha);
}

void status_text(float x, float y, const runtime::Text& line) {
    gfx::draw_text(nullptr, x, y, absolute, line.view(), status_green, nullptr, gfx::BlitMode::Transparent);
}

}  // namespace

void demo_scene_frame(DemoScene& scene, const DemoImages& images, const gfx::Image* font_image) {
    gfx::screen_set_pages(scene.page, 1 - scene.page);

    scene.bg_x += scene.bg_dx;
    scene.bg_y += scene.bg_dy;
    if (scene.bg_x == 160 || scene.bg_x == 15) scene.bg_dx = -scene.bg_dx;
    if (scene.bg_y == 120 || scene.bg_y == 15) scene.bg_dy = -scene.bg_dy;
    whole(0, static_cast<float>(scene.bg_y - 120), images.background_picture, gfx::BlitMode::Copy, -1);
    whole(static_cast<float>(-scene.bg_x), static_cast<float>(-scene.bg_y), images.background_picture,
          gfx::BlitMode::Add, 255);

    for (std::size_t i = 0; i < scene.stars.size(); ++i) {
        Star& star = scene.stars[i];
        star.x -= star.speed;
        const gfx::Color green = 0xFF000000u | (static_cast<gfx::Color>(4 * i + 50) << 8);
        gfx::draw_line(nullptr, static_cast<float>(star.x), static_cast<float>(star.y),
                       static_cast<float>(star.x + star.length), static_cast<float>(star.y), green, solid, 0);
        // Still drawn in this frame, wholly off the screen; first seen again at 640 - speed.
        if (star.x < -star.length) {
            star.x = 640;
            respawn_fields(star);
        }
    }

    scene.bar_y += scene.bar_dy;
    whole(0, static_cast<float>(scene.bar_y), images.raster_bar, gfx::BlitMode::Alpha, -1);
    whole(0, 120, images.logo_picture, gfx::BlitMode::Add, 255);
    if (scene.bar_y >= 280 || scene.bar_y <= 120) scene.bar_dy = -scene.bar_dy;
    whole(160, 60, images.logo2_picture, gfx::BlitMode::Add, 255);
    whole(0, 404, images.raster_bar, gfx::BlitMode::Alpha, -1);

    status_text(1, 1, runtime::text_concat("Driver: ", scene.driver_name));

    scene.scroll_x -= 3;
    const double height = 422.0 + 15.0 * std::sin(scene.bar_y * 3.14 / 180.0);
    gfx::draw_text(nullptr, static_cast<float>(scene.scroll_x), static_cast<float>(height), absolute,
                   scene.scroll_text.view(), 0, font_image, gfx::BlitMode::Transparent);
    if (scene.scroll_x <= -8 * runtime::text_length(scene.scroll_text)) scene.scroll_x = 640;

    scene.frame_count += 1;
    if (runtime::clock_seconds() >= scene.fps_time + 1.0) {
        scene.fps_time = runtime::clock_seconds();
        scene.fps_value = scene.frame_count;
        scene.frame_count = 0;
    }
    status_text(0, 10, runtime::text_concat("FPS: ", runtime::int_to_text(scene.fps_value)));

    scene.page = 1 - scene.page;
}

std::uint32_t raster_bar_alpha(std::int32_t row) {
    return static_cast<std::uint32_t>(runtime::round_even(8.5 * std::min(row, 60 - row)));
}

DemoScene demo_scene_setup(const DemoImages& images) {
    DemoScene scene;
    for (std::int32_t y = 0; y <= 30; ++y) {
        const gfx::Color colour = (raster_bar_alpha(y) << 24) | 0x0000FF00u;
        gfx::draw_line(images.raster_bar, 0, static_cast<float>(y), 640, static_cast<float>(y), colour, solid, 0);
        gfx::draw_line(images.raster_bar, 0, static_cast<float>(60 - y), 640, static_cast<float>(60 - y), colour,
                       solid, 0);
    }
    scene.bar_y = 140;
    scene.page = 0;
    scene.bar_dy = 3;
    for (Star& star : scene.stars) {
        star.x = random_pick(640);
        star.y = random_pick(480);
        star.speed = random_pick(10, 10);
        star.length = 100;
    }
    scene.scroll_x = 640;
    scene.scroll_text = runtime::Text(scroll_text);
    scene.driver_name = gfx::screen_driver_name().name;
    scene.bg_dx = scene.bg_dy = 1;
    scene.bg_x = scene.bg_y = 51;
    scene.fps_time = runtime::clock_seconds();
    scene.frame_time = runtime::clock_seconds();
    scene.frame_count = scene.fps_value = 0;
    return scene;
}

void demo_scene_run(DemoScene& scene, const DemoImages& images, const gfx::Image* font_image) {
    for (;;) {
        if (gfx::key_down(escape) == -1) return;
        // Polls without sleeping: the pace comes from the clock alone.
        if (runtime::clock_seconds() < scene.frame_time + 0.03) continue;
        scene.frame_time = runtime::clock_seconds();
        demo_scene_frame(scene, images, font_image);
    }
}

void demo_scene_release(DemoScene& scene) {
    scene.driver_name = {};
    scene.scroll_text = {};
}

}  // namespace intro
