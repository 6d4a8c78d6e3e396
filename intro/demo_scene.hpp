// The demo scene: bouncing background, star streaks, raster bars, logos, a
// sine scroller and two status lines, one frame at most every 0.03 s,
// until Escape.
#pragma once

#include <array>
#include <cstdint>

#include "gfx/image.hpp"
#include "intro/images.hpp"
#include "runtime/text.hpp"

namespace intro {

struct Star {
    std::int32_t x = 0;       // left end on the screen
    std::int32_t y = 0;       // screen row
    std::int32_t length = 100;
    std::int32_t speed = 10;  // pixels left per frame, 10 to 20
};

struct DemoScene {
    std::int32_t page = 0;
    std::int32_t bg_x = 51, bg_y = 51;
    std::int32_t bg_dx = 1, bg_dy = 1;
    std::int32_t bar_y = 140;
    std::int32_t bar_dy = 3;
    std::int32_t scroll_x = 640;
    runtime::Text scroll_text;
    runtime::Text driver_name;
    double frame_time = 0.0;
    double fps_time = 0.0;
    std::int32_t frame_count = 0;
    std::int32_t fps_value = 0;
    std::array<Star, 51> stars{};
};

// Alpha of raster-bar row r (0..59): 8.5 x min(r, 60 - r), ties to even.
std::uint32_t raster_bar_alpha(std::int32_t row);

// Draws the raster bar Image and sets every scene variable (153 random
// numbers for the stars, the driver's name, the clock marks).
DemoScene demo_scene_setup(const DemoImages& images);

// One frame, steps from the page switch to the toggle of `page`.
void demo_scene_frame(DemoScene& scene, const DemoImages& images, const gfx::Image* font_image);

// Draws frames until Escape is held at the top of a pass.
void demo_scene_run(DemoScene& scene, const DemoImages& images, const gfx::Image* font_image);

void demo_scene_release(DemoScene& scene);

}  // namespace intro
