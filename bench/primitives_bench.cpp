#include <benchmark/benchmark.h>

#include <cstdint>

#include "gfx/image.hpp"
#include "gfx/primitives.hpp"
#include "gfx/screen.hpp"

namespace {

constexpr gfx::Color light_blue = 0xFF7F7FD7u;
constexpr gfx::Color dark_blue = 0xFF32327Fu;

// The intro's screen, shown by the Headless back end so that the update
// thread runs alongside as it does in the intro.
struct HeadlessScreen {
    HeadlessScreen() {
        gfx::screen_request_backend("Headless");
        ok = gfx::screen_open(640, 480, 32, 2, 0, 0) == gfx::Status::Ok;
    }
    ~HeadlessScreen() {
        gfx::screen_close();
        gfx::screen_request_backend("");
    }
    bool ok = false;
};

// Time per pixel written (shown in ns), from the pixels of one iteration.
void count_pixels(benchmark::State& state, std::int64_t pixels_per_iteration) {
    state.SetItemsProcessed(state.iterations() * pixels_per_iteration);
    state.counters["per_pixel"] =
        benchmark::Counter(static_cast<double>(pixels_per_iteration),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

gfx::Color flash(std::int64_t i) { return 0xFF000000u | static_cast<gfx::Color>((i * 0x9E3779B1u) & 0xFFFFFF); }

void BM_flood_fill_boot_ring(benchmark::State& state) {
    HeadlessScreen screen;
    if (!screen.ok) return state.SkipWithError("no Headless screen");
    gfx::Image* canvas = gfx::image_create(641, 481, 0, 0, gfx::flag_no_colour);
    gfx::fill_box(canvas, 20, 20, 420, 322, light_blue, 0xFFFF, 0);
    gfx::draw_box(canvas, 20, 20, 420, 322, dark_blue, 0xFFFF, 0);
    gfx::fill_box(canvas, 60, 60, 380, 282, dark_blue, 0xFFFF, 0);
    std::int64_t i = 0;
    for (auto _ : state) gfx::flood_fill(canvas, 21, 21, flash(i++), dark_blue, "", 0, 4);
    count_pixels(state, 2 * 399 * 39 + 2 * 39 * 223);
    gfx::image_destroy(canvas);
}
BENCHMARK(BM_flood_fill_boot_ring);

void BM_flood_fill_whole_area(benchmark::State& state) {
    HeadlessScreen screen;
    if (!screen.ok) return state.SkipWithError("no Headless screen");
    gfx::Image* canvas = gfx::image_create(640, 480, 0, 0, gfx::flag_no_colour);
    std::int64_t i = 0;
    for (auto _ : state) gfx::flood_fill(canvas, 320, 240, flash(i++), dark_blue, "", 0, 0);
    count_pixels(state, 640 * 480);
    gfx::image_destroy(canvas);
}
BENCHMARK(BM_flood_fill_whole_area);

// Onto the screen's visible page, so the lock and the row flags are paid too.
void BM_draw_line_sloped(benchmark::State& state) {
    HeadlessScreen screen;
    if (!screen.ok) return state.SkipWithError("no Headless screen");
    std::int64_t i = 0;
    for (auto _ : state) gfx::draw_line(nullptr, 0, 0, 639, 479, flash(i++), 0xFFFF, 0);
    count_pixels(state, 640);
}
BENCHMARK(BM_draw_line_sloped);

void BM_draw_line_horizontal(benchmark::State& state) {
    HeadlessScreen screen;
    if (!screen.ok) return state.SkipWithError("no Headless screen");
    std::int64_t i = 0;
    for (auto _ : state) gfx::draw_line(nullptr, 0, 240, 639, 240, flash(i++), 0xFFFF, 0);
    count_pixels(state, 640);
}
BENCHMARK(BM_draw_line_horizontal);

void BM_draw_line_horizontal_styled(benchmark::State& state) {
    HeadlessScreen screen;
    if (!screen.ok) return state.SkipWithError("no Headless screen");
    std::int64_t i = 0;
    for (auto _ : state) gfx::draw_line(nullptr, 639, 240, 0, 240, flash(i++), 0xF0F0, 0);
    count_pixels(state, 640);
}
BENCHMARK(BM_draw_line_horizontal_styled);

void BM_fill_box_whole_screen(benchmark::State& state) {
    HeadlessScreen screen;
    if (!screen.ok) return state.SkipWithError("no Headless screen");
    std::int64_t i = 0;
    for (auto _ : state) gfx::fill_box(nullptr, 0, 0, 639, 479, flash(i++), 0xFFFF, 0);
    count_pixels(state, 640 * 480);
}
BENCHMARK(BM_fill_box_whole_screen);

}  // namespace
