// The power-on scene: tuning noise behind the monitor frame, then the home
// computer's start-up screen typing its load and run commands, one
// character per whole-second tick of the clock.
#pragma once

#include <cstdint>

#include "intro/images.hpp"
#include "runtime/text.hpp"

namespace intro {

struct BootScene {
    std::int32_t page = 0;
    std::int32_t boot_tick = 0;
    std::int32_t second_mark = 0;  // whole second of the last tick
    double blink_time = 0.0;       // clock value of the cursor's last toggle
    std::int32_t cursor_on = 0;
    std::int32_t cursor_x = 61, cursor_y = 108;
    std::int32_t line_done = 0;
    std::int32_t typed_count = 0;
    runtime::Text type_source;
    runtime::Text load_line;
    runtime::Text run_line;
};

// Clock and text state at set-up.
BootScene boot_scene_setup();

// The tick rule: when the clock has reached second_mark + 1, second_mark
// becomes the clock (read again) rounded to the nearest integer, ties to
// even, and boot_tick grows by one. True when it ticked.
bool boot_apply_tick_rule(BootScene& scene);

// One noise frame: page switch, a new noise tile, the canvas tiled with it,
// the canvas, frame and glow placed on the screen, the tick rule, the toggle.
void boot_noise_frame(BootScene& scene, const BootImages& images);

// One frame of the boot phase, everything after the Escape test; false after
// the frame of tick 24, the scene's last (its page is not toggled).
bool boot_screen_frame(BootScene& scene, const BootImages& images);

// While boot_tick <= 3: noise frames; Escape is not tested.
void boot_noise_phase(BootScene& scene, const BootImages& images);

// From boot_tick -5 until the frame of tick 24 is drawn, or Escape at the
// top of a pass.
void boot_screen_phase(BootScene& scene, const BootImages& images);

// The three texts are released.
void boot_scene_release(BootScene& scene);

}  // namespace intro
