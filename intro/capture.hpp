// Rendering the intro to still frames, deterministically: the settings of the
// intro-capture program and the run that plays the intro on the Headless
// display against a driven clock (intro/driven.hpp) and hands each frame the
// monitor shows, scaled, to a sink.
//
// Timeline: second 0 is the intro's first clock reading. With the default
// clock origin (1000.25) the boot scene's whole-second ticks fall at 0.75,
// 1.75, ...: the noise phase ends at 3.75 s, the boot scene at 32.75 s, and the
// demo scene draws a frame every 0.03 s or a little more from then on.
// Frame n of the monitor lies at timeline second n / fps and shows the page
// that is visible at that instant, so the boot scene runs at its own pace and
// each demo frame is held over the monitor frames that follow it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace intro {

struct CaptureOptions {
    std::string output;              // a directory for PNG files, or "-": raw frames on standard output
    std::int32_t fps = 60;           // monitor frames per second, 1 to 240
    std::optional<double> seconds;   // length of the recording from `from`, > 0;
                                     // unset: until capture_default_end
    double from = 0.0;               // timeline second of the first frame written, >= 0
    std::vector<double> escape_at;   // timeline seconds at which Escape is pressed, >= 0
    std::int32_t scale = 1;          // whole factor 1 to 8, nearest neighbour
    std::string data = ".";          // the directory the intro reads its pictures from
    double step = 0.0005;            // timeline seconds per clock reading, (0, 0.01]
};

// The timeline second at which the recording ends.
double capture_end(const CaptureOptions& options);

// Seconds of demo scene in a recording of the default length.
inline constexpr double capture_default_demo_seconds = 30.0;
// The timeline second at which the boot scene ends when Escape is not pressed:
// the noise phase's 4 ticks and the boot phase's 29 (boot_tick -5 to 24) fall
// where the clock passes whole seconds, counted from the clock origin rounded
// to the nearest integer.
double capture_boot_scene_end(double clock_origin);
// capture_boot_scene_end plus capture_default_demo_seconds, for the default
// clock origin: 62.75.
double capture_default_end();

// Result of reading the command line. Error carries a one-line message.
struct CaptureCommand {
    enum class Kind { Run, Help, Error } kind = Kind::Error;
    CaptureOptions options;
    std::string error;
};

// Reads GNU-style options (getopt_long: --fps N, --fps=N, "--" ends the
// options) and exactly one DIR or "-". Every value must be a finite number
// with nothing after it, whole for --fps and --scale. Uses getopt_long's
// global state; program thread.
CaptureCommand capture_parse_command(int argc, char** argv);

// The --help text, naming `program`.
std::string capture_usage(std::string_view program);

// One frame as the monitor shows it, scaled.
struct CaptureFrame {
    std::int64_t number = 0;  // 0 for the first frame written
    double time = 0.0;        // timeline second
    const std::uint32_t* pixels = nullptr;  // 0xFFRRGGBB: the page's colours with alpha 255,
                                            // width x height, rows top to bottom, no padding
    std::int32_t width = 0, height = 0;     // 640 x scale, 480 x scale
};

// Called at every monitor frame, also those before `from` that are not written.
struct CaptureProgress {
    std::int64_t frames_written = 0;
    std::int64_t frames_passed = 0;  // monitor frames since timeline 0
    double time = 0.0;               // timeline second of the last monitor frame
    double end = 0.0;                // capture_end
};

struct CaptureResult {
    int intro_status = -1;        // what the intro's run returned; 0 when it ended normally
    std::int64_t frames_written = 0;
    double last_time = -1.0;      // timeline second of the last monitor frame, -1 if none
};

// Plays the intro from timeline 0 in the working directory (the caller enters
// options.data) and calls `sink` with every monitor frame at timeline seconds
// in [from, capture_end). At capture_end Escape is held, so the intro finishes
// soon after (the noise phase still runs to its end). Escape presses: one
// before the demo scene is let go of once the boot scene is over; one in the
// demo scene ends the intro, and with it the frames, before capture_end.
// The frame's pixels are valid during the call only. Program thread; nothing
// else may have a screen open.
CaptureResult capture_run(const CaptureOptions& options, const std::function<void(const CaptureFrame&)>& sink,
                          const std::function<void(const CaptureProgress&)>& progress = nullptr);

namespace detail {

// Each pixel of the width x height source becomes a scale x scale block of
// `out` (resized to width x scale by height x scale), with alpha set to 255.
void capture_scale(const std::uint32_t* pixels, std::int32_t width, std::int32_t height, std::int32_t scale,
                   std::vector<std::uint32_t>& out);

}  // namespace detail
}  // namespace intro
