// The cost of the intro's frames on the Headless display, each beside a
// memcpy of the rows its blits read and write (the bulk of its memory
// traffic), measured in the same iterations.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <vector>

#include "gfx/screen.hpp"
#include "intro/boot_scene.hpp"
#include "intro/demo_scene.hpp"
#include "intro/images.hpp"
#include "runtime/clock.hpp"
#include "runtime/start.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// A row span a frame's blits touch: `rows` rows of `bytes` bytes.
struct Rows {
    int rows, bytes;
};

class IntroBench {
public:
    IntroBench() {
        char name[] = "intro_bench";
        char* argv[] = {name};
        runtime::runtime_start(1, argv);
        runtime::clock_drive([](void*) { return 100.25; }, nullptr);  // no ticks, no blinks
        gfx::screen_request_backend("Headless");
        gfx::screen_open(640, 480, 32, 2, 0, 0);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(BENCH_DATA_DIR);
        source_.assign(801 * 601 * 4, 0x40);
        target_.assign(640 * 480 * 4, 0x20);
    }
    ~IntroBench() {
        std::filesystem::current_path(previous_);
        gfx::screen_close();
        gfx::screen_request_backend("");
        runtime::clock_drive(nullptr, nullptr);
    }

    double copy_rows(const std::vector<Rows>& spans) {
        const auto start = Clock::now();
        for (const Rows& span : spans) {
            for (int y = 0; y < span.rows; ++y) {
                std::memcpy(target_.data() + (y % 480) * 2560, source_.data() + (y % 601) * 3204, span.bytes);
            }
        }
        benchmark::ClobberMemory();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    template <typename Frame>
    void run(benchmark::State& state, const std::vector<Rows>& spans, Frame frame) {
        double frames = 0.0, copies = 0.0;
        for (auto _ : state) {
            copies += copy_rows(spans);
            const auto start = Clock::now();
            frame();
            const double took = std::chrono::duration<double>(Clock::now() - start).count();
            frames += took;
            state.SetIterationTime(took);
        }
        state.counters["per_memcpy"] = frames / copies;  // frame time / memcpy time of its rows
        state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()) / frames);
    }

private:
    std::filesystem::path previous_;
    std::vector<std::uint8_t> source_, target_;
};

void BM_demo_frame(benchmark::State& state) {
    IntroBench bench;
    gfx::Image* font = intro::font_image_create();
    intro::DemoImages images = intro::demo_images_create();
    intro::DemoScene scene = intro::demo_scene_setup(images);
    // Background copied and added, two bars, two logos (the second cut to 480 columns).
    const std::vector<Rows> spans = {{480, 2560}, {480, 2560}, {60, 2560}, {60, 2560}, {241, 2560}, {241, 1920}};
    bench.run(state, spans, [&] { intro::demo_scene_frame(scene, images, font); });
    intro::demo_images_release(images);
    gfx::image_destroy(font);
}
BENCHMARK(BM_demo_frame)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_noise_frame(benchmark::State& state) {
    IntroBench bench;
    intro::BootImages images = intro::boot_images_create();
    intro::BootScene scene = intro::boot_scene_setup();
    intro::noise_tile_create(images);
    // 42 tiles onto the canvas; the canvas (541 x 416 on screen), the frame and the glow onto the screen.
    const std::vector<Rows> spans = {{42 * 64, 256}, {416, 2164}, {480, 2560}, {61, 484}};
    bench.run(state, spans, [&] { intro::boot_noise_frame(scene, images); });
    for (gfx::Image* image : {images.boot_canvas, images.frame_picture, images.glow_picture, images.noise_tile}) {
        gfx::image_destroy(image);
    }
}
BENCHMARK(BM_noise_frame)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A boot frame with everything on: all texts and the flashing ring.
void BM_boot_frame(benchmark::State& state) {
    IntroBench bench;
    intro::BootImages images = intro::boot_images_create();
    intro::BootScene scene = intro::boot_scene_setup();
    intro::noise_tile_create(images);
    scene.boot_tick = 22;
    scene.load_line = "LOAD \"*\",8,1";
    scene.run_line = "RUN";
    const std::vector<Rows> spans = {{416, 2164}, {480, 2560}, {61, 484}};
    bench.run(state, spans, [&] { intro::boot_screen_frame(scene, images); });
    for (gfx::Image* image : {images.boot_canvas, images.frame_picture, images.glow_picture, images.noise_tile}) {
        gfx::image_destroy(image);
    }
}
BENCHMARK(BM_boot_frame)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
