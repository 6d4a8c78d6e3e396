// draw_text: a long text of which 80 characters are visible costs about what
// an 80-character text costs, in the built-in font and with a Font image.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "gfx/backends/headless.hpp"
#include "gfx/image.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"
#include "gfx/text.hpp"

namespace {

void open_text_screen() {
    if (!gfx::detail::screen_is_open()) {
        gfx::screen_request_backend("Headless");
        gfx::screen_open(640, 480, 32, 2, 0, 0);
    }
    gfx::screen_set_pages(1, 0);  // a hidden work page, as a frame is drawn
}

std::string printable_text(std::size_t n) {
    std::mt19937 rng(42);
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(32 + rng() % 96);
    return s;
}

// The intro's scroller font: 864 x 18, characters 32..127 of width 8.
gfx::Image* intro_font() {
    static gfx::Image* font = [] {
        gfx::Image* f = gfx::image_create(864, 18, 0, 0, gfx::flag_no_colour);
        std::uint8_t* pixels = gfx::image_bytes(*f).data() + 4;
        std::mt19937 rng(7);
        for (std::size_t i = 864; i < 864u * 18; ++i) {
            const gfx::Color c = rng() % 3 == 0 ? gfx::default_fill : rng();
            std::memcpy(pixels + 4 * i, &c, 4);
        }
        pixels[0] = 0;
        pixels[1] = 32;
        pixels[2] = 127;
        std::memset(pixels + 3, 8, 96);
        return f;
    }();
    return font;
}

// Where the invisible characters lie: none, past the right edge, or before
// the left edge (the text starting far to the left).
enum class Hidden { None, Right, Left };

void bm_text(benchmark::State& state, bool builtin, std::size_t length, Hidden hidden) {
    open_text_screen();
    const std::string text = printable_text(length);
    // 80 cells of 8 pixels fill the 640-pixel row.
    const float x = hidden == Hidden::Left ? -8.0f * static_cast<float>(length - 80) : 0.0f;
    const gfx::Image* font = builtin ? nullptr : intro_font();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            gfx::draw_text(nullptr, x, 200, 4, text, 0xFF7F7FD7u, font, gfx::BlitMode::Transparent));
    }
    state.counters["chars/call"] = static_cast<double>(length);
}

void register_text_benchmarks() {
    for (const bool builtin : {true, false}) {
        const std::string font = builtin ? "builtin" : "font_image";
        benchmark::RegisterBenchmark(("BM_text_" + font + "/80_of_80").c_str(),
                                     [=](benchmark::State& s) { bm_text(s, builtin, 80, Hidden::None); });
        benchmark::RegisterBenchmark(("BM_text_" + font + "/80_of_10000_rest_right").c_str(),
                                     [=](benchmark::State& s) { bm_text(s, builtin, 10000, Hidden::Right); });
        benchmark::RegisterBenchmark(("BM_text_" + font + "/80_of_10000_rest_left").c_str(),
                                     [=](benchmark::State& s) { bm_text(s, builtin, 10000, Hidden::Left); });
    }
}

const int registered = (register_text_benchmarks(), 0);

}  // namespace
