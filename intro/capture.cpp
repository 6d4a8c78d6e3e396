#include "intro/capture.hpp"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "intro/driven.hpp"

namespace intro {
namespace {

constexpr int noise_ticks = 4;   // boot_tick 0 to 3
constexpr int boot_ticks = 29;   // boot_tick -5 to 24

constexpr std::int32_t max_fps = 240;
constexpr std::int32_t max_scale = 8;
constexpr double max_step = 0.01;

// Whole and finite, nothing after it: "--seconds 5x" is a mistake, not 5.
bool parse_real(const char* text, double& value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool parse_whole(const char* text, std::int32_t low, std::int32_t high, std::int32_t& value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

CaptureCommand failure(std::string message) {
    CaptureCommand command;
    command.kind = CaptureCommand::Kind::Error;
    command.error = std::move(message);
    return command;
}

std::string show(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

}  // namespace

double capture_boot_scene_end(double clock_origin) {
    return std::nearbyint(clock_origin) + noise_ticks + boot_ticks - clock_origin;
}

double capture_default_end() { return capture_boot_scene_end(DrivenRun{}.clock_origin) + capture_default_demo_seconds; }

double capture_end(const CaptureOptions& options) {
    return options.seconds ? options.from + *options.seconds : capture_default_end();
}

std::string capture_usage(std::string_view program) {
    std::string p(program);
    return "Usage: " + p + " [OPTIONS] DIR\n"
           "       " + p + " [OPTIONS] -\n"
           "Renders the intro on a driven clock, the same frames on every run and machine.\n"
           "DIR receives DIR/frame-000000.png, ... (8-bit RGB), one per monitor frame; it is\n"
           "created if missing. \"-\" writes raw frames to standard output instead: width x\n"
           "height x 4 bytes each, blue, green, red, alpha (always 255), rows top to bottom, for\n"
           "  ffmpeg -f rawvideo -pixel_format bgra -video_size WxH -framerate N -i -\n"
           "\n"
           "Options:\n"
           "  --fps N          monitor frames per second, 1 to 240 (default 60)\n"
           "  --seconds S      length of the recording from --from; default: until 30 s of\n"
           "                   the demo scene have played, timeline " + show(capture_default_end()) + " s\n"
           "                   (the boot scene ends at " + show(capture_boot_scene_end(DrivenRun{}.clock_origin)) + " s)\n"
           "  --from T         first frame written at timeline second T (default 0); the\n"
           "                   frames before it are rendered but not written\n"
           "  --escape-at T    Escape pressed at timeline second T (repeatable): during the\n"
           "                   boot scene it skips to the demo; in the demo it ends the intro\n"
           "                   and the recording\n"
           "  --scale K        whole magnification 1 to 8, nearest neighbour (default 1)\n"
           "  --data DIR       directory holding the intro's pictures (default: the current one)\n"
           "  --step S         timeline seconds per clock reading, up to 0.01 (default 0.0005,\n"
           "                   a fast machine)\n"
           "  -h, --help       this text\n"
           "\n"
           "Exit status: 0 done, 1 the output or the data cannot be used, 2 bad options.\n";
}

CaptureCommand capture_parse_command(int argc, char** argv) {
    enum : int { fps = 256, seconds, from, escape_at, scale, data, step };
    static const option long_options[] = {
        {"fps", required_argument, nullptr, fps},
        {"seconds", required_argument, nullptr, seconds},
        {"from", required_argument, nullptr, from},
        {"escape-at", required_argument, nullptr, escape_at},
        {"scale", required_argument, nullptr, scale},
        {"data", required_argument, nullptr, data},
        {"step", required_argument, nullptr, step},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };

    CaptureCommand command;
    command.kind = CaptureCommand::Kind::Run;
    CaptureOptions& o = command.options;
    // 0 re-initialises getopt, so a second parse in one process starts afresh;
    // the messages are ours, so opterr is off.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int c = getopt_long(argc, argv, ":h", long_options, nullptr);
        if (c == -1) break;
        const char* arg = optarg;
        double real = 0.0;
        switch (c) {
            case 'h':
                command.kind = CaptureCommand::Kind::Help;
                return command;
            case fps:
                if (!parse_whole(arg, 1, max_fps, o.fps)) return failure("--fps wants a whole number from 1 to 240");
                break;
            case seconds:
                if (!parse_real(arg, real) || real <= 0.0) return failure("--seconds wants a number of seconds above 0");
                o.seconds = real;
                break;
            case from:
                if (!parse_real(arg, real) || real < 0.0) return failure("--from wants a timeline second, 0 or more");
                o.from = real;
                break;
            case escape_at:
                if (!parse_real(arg, real) || real < 0.0) return failure("--escape-at wants a timeline second, 0 or more");
                o.escape_at.push_back(real);
                break;
            case scale:
                if (!parse_whole(arg, 1, max_scale, o.scale)) return failure("--scale wants a whole number from 1 to 8");
                break;
            case data:
                if (arg == nullptr || *arg == '\0') return failure("--data wants a directory");
                o.data = arg;
                break;
            case step:
                if (!parse_real(arg, real) || !(real > 0.0) || real > max_step) {
                    return failure("--step wants seconds above 0 and at most 0.01");
                }
                o.step = real;
                break;
            case ':':
                return failure(std::string("option '") + argv[optind - 1] + "' wants a value");
            default:
                if (optopt != 0) return failure(std::string("unknown option '-") + static_cast<char>(optopt) + "'");
                return failure(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    if (optind >= argc) return failure("missing DIR (or - for raw frames on standard output)");
    if (argc - optind > 1) return failure(std::string("one output only; '") + argv[optind + 1] + "' is one too many");
    o.output = argv[optind];
    if (o.output.empty()) return failure("the output directory name is empty");
    if (!o.seconds && o.from >= capture_default_end()) {
        return failure("--from " + show(o.from) + " lies past the default end (" + show(capture_default_end()) +
                       " s); give --seconds");
    }
    return command;
}

namespace detail {

void capture_scale(const std::uint32_t* pixels, std::int32_t width, std::int32_t height, std::int32_t scale,
                   std::vector<std::uint32_t>& out) {
    const auto out_width = static_cast<std::size_t>(width) * scale;
    out.resize(out_width * static_cast<std::size_t>(height) * scale);
    std::uint32_t* target = out.data();
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint32_t* source = pixels + static_cast<std::size_t>(y) * width;
        std::uint32_t* first = target;
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t v = source[x] | 0xFF000000u;
            for (std::int32_t k = 0; k < scale; ++k) *target++ = v;
        }
        for (std::int32_t k = 1; k < scale; ++k) {
            std::memcpy(target, first, out_width * sizeof(std::uint32_t));
            target += out_width;
        }
    }
}

}  // namespace detail

CaptureResult capture_run(const CaptureOptions& options, const std::function<void(const CaptureFrame&)>& sink,
                          const std::function<void(const CaptureProgress&)>& progress) {
    CaptureResult result;
    DrivenRun run;
    run.step = options.step;
    run.sample_rate = options.fps;
    run.end = capture_end(options);
    for (double at : options.escape_at) run.escapes.push_back(EscapePress{at, false});

    std::vector<std::uint32_t> scaled;
    CaptureProgress state;
    state.end = run.end;
    run.on_sample = [&](const Sample& sample) {
        state.frames_passed = sample.index + 1;
        state.time = sample.time;
        result.last_time = sample.time;
        if (sample.time >= options.from) {
            detail::capture_scale(sample.pixels, sample.width, sample.height, options.scale, scaled);
            CaptureFrame frame;
            frame.number = result.frames_written;
            frame.time = sample.time;
            frame.pixels = scaled.data();
            frame.width = sample.width * options.scale;
            frame.height = sample.height * options.scale;
            sink(frame);
            ++result.frames_written;
            state.frames_written = result.frames_written;
        }
        if (progress) progress(state);
    };

    char name[] = "intro";
    char* argv[] = {name, nullptr};
    result.intro_status = driven_run(run, 1, argv);
    return result;
}

}  // namespace intro
