// Plays the intro's own flow on the Headless display with a driven clock, so
// the same settings always give the same frames, whatever the machine's speed.
// Used by the capture program and the scene tests.
//
// Timeline: the clock's k-th reading (k = 0, 1, ...) returns
// clock_origin + k x step, and lies at timeline second k x step. The intro
// reads the clock a few times a frame, so a boot frame lasts a few steps and
// the demo's pacing loop spins one step a pass, as on a fast machine.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace intro {

struct EscapePress {
    double at = 0.0;            // timeline second of the press
    bool hold_to_end = false;   // held until the intro exits; otherwise released
                                // once the boot scene is over (a press in the
                                // demo scene is held until the intro exits)
};

// What the monitor shows at one sample instant: the visible page.
struct Sample {
    std::int64_t index = 0;  // sample number from timeline 0
    double time = 0.0;       // index / sample_rate
    const std::uint32_t* pixels = nullptr;  // 0xAARRGGBB, width x height, no padding
    std::int32_t width = 0, height = 0;
};

struct DrivenRun {
    double clock_origin = 1000.25;  // the first clock reading, in seconds
    double step = 0.0005;           // clock advance per reading, in seconds
    double sample_rate = 60.0;      // monitor frames per second
    double end = std::numeric_limits<double>::infinity();  // timeline second to stop at: Escape
                                                          // is then held and sampling stops
    std::vector<EscapePress> escapes;
    std::function<void(const Sample&)> on_sample;   // every sample instant before `end`
    std::function<void(double time)> on_reading;    // every clock reading (timeline second)
};

// Runs intro::run with the given arguments on the Headless display and
// returns its exit status. Restores the system clock and the normal
// back-end search afterwards. Program thread.
int driven_run(const DrivenRun& settings, int argc, char** argv);

}  // namespace intro
