// intro-capture's rates: monitor frames captured per second of run time,
// into memory (the raw path, less the pipe) and into PNG files, and the cost
// of one PNG at each zlib level.
#if BENCH_HAVE_CAPTURE

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "intro/capture.hpp"
#include "intro/capture_png.hpp"

namespace {

namespace fs = std::filesystem;

// The pictures: $INTRO_SOURCE_DIR/data, else the first data/ with back.bmp
// found from here upwards; an empty folder when there is none (label says so).
fs::path data_directory(bool& found) {
    if (const char* source = std::getenv("INTRO_SOURCE_DIR")) {
        found = fs::exists(fs::path(source) / "data" / "back.bmp");
        if (found) return fs::path(source) / "data";
    }
    for (fs::path dir = fs::current_path();; dir = dir.parent_path()) {
        if (fs::exists(dir / "data" / "back.bmp")) {
            found = true;
            return dir / "data";
        }
        if (dir == dir.parent_path()) break;
    }
    found = false;
    const fs::path empty = fs::temp_directory_path() / ("capture-bench-empty-" + std::to_string(::getpid()));
    fs::create_directories(empty);
    return empty;
}

fs::path scratch_directory() {
    const fs::path dir = fs::temp_directory_path() / ("capture-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

// Two seconds of the noise phase, or two seconds of the demo scene after an
// Escape at 0 s (the noise before it is rendered, not written).
intro::CaptureOptions two_seconds(bool demo) {
    intro::CaptureOptions o;
    o.fps = 60;
    if (demo) {
        o.escape_at = {0.0};
        o.from = 4.0;
    }
    o.seconds = 2.0;
    return o;
}

intro::CaptureResult capture_in(const fs::path& data, const intro::CaptureOptions& options,
                                const std::function<void(const intro::CaptureFrame&)>& sink) {
    const fs::path previous = fs::current_path();
    fs::current_path(data);
    const intro::CaptureResult result = intro::capture_run(options, sink);
    fs::current_path(previous);
    return result;
}

void BM_capture(benchmark::State& state) {
    const bool demo = state.range(0) != 0;
    const bool png = state.range(1) != 0;
    bool pictures = false;
    const fs::path data = data_directory(pictures);
    const fs::path out = scratch_directory();
    std::vector<std::uint32_t> memory;
    std::int64_t frames = 0;
    std::string error;
    const auto sink = [&](const intro::CaptureFrame& frame) {
        if (png) {
            if (!intro::capture_png_write((out / intro::capture_png_name(frame.number)).string(), frame, error)) {
                state.SkipWithError(error.c_str());
            }
        } else {
            memory.resize(static_cast<std::size_t>(frame.width) * frame.height);
            std::memcpy(memory.data(), frame.pixels, memory.size() * 4);
        }
        ++frames;
    };
    for (auto _ : state) {
        const intro::CaptureResult result = capture_in(data, two_seconds(demo), sink);
        benchmark::DoNotOptimize(result.frames_written);
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.SetLabel(std::string(demo ? "demo" : "noise") + (png ? ", PNG" : ", memory") +
                   (pictures ? "" : ", no pictures"));
    fs::remove_all(out);
}
BENCHMARK(BM_capture)
    ->ArgNames({"demo", "png"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One demo frame at scale 1 and 2, written at zlib level `level`.
void BM_capture_png_write(benchmark::State& state) {
    const int scale = static_cast<int>(state.range(0));
    const int level = static_cast<int>(state.range(1));
    bool pictures = false;
    const fs::path data = data_directory(pictures);
    intro::CaptureOptions o = two_seconds(true);
    o.seconds = 0.01;
    o.scale = scale;
    std::vector<std::uint32_t> pixels;
    intro::CaptureFrame frame;
    capture_in(data, o, [&](const intro::CaptureFrame& f) {
        pixels.assign(f.pixels, f.pixels + static_cast<std::size_t>(f.width) * f.height);
        frame = f;
    });
    frame.pixels = pixels.data();
    const fs::path out = scratch_directory();
    const std::string path = (out / "frame.png").string();
    std::string error;
    for (auto _ : state) {
        if (!intro::capture_png_write(path, frame, error, level)) state.SkipWithError(error.c_str());
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(path));
    state.SetItemsProcessed(state.iterations());
    fs::remove_all(out);
}
BENCHMARK(BM_capture_png_write)
    ->ArgNames({"scale", "level"})
    ->ArgsProduct({{1, 2}, {1, 3, 6, 9}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

#endif
