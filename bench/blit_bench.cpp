// Blits of each mode against a block copy of the same rows, and the nearest
// operations of two other pixel libraries on the same pixels.
//
// Every benchmark here alternates, iteration by iteration, a memcpy of the
// rows it is about to draw with the drawing itself, so both see the same
// caches and the same processor clock. It reports:
//   Mpix/s    pixels drawn per second by the operation, from its median
//             iteration time
//   x_memcpy  the median over iterations of memcpy's time over the
//             operation's time for the same rows (1.0: as fast as copying
//             the rows; above 1: faster)
// Medians of paired iterations, because on a shared machine other programs
// preempt single iterations and move the clock between them. The time column
// is the operation's mean time.
//
// The table of all figures:
//   build/release/bench/gfx_bench --benchmark_filter='^(blit|pixman|sdl)/' --benchmark_counters_tabular=true
// and of each instruction set's row routines: --benchmark_filter='^rows/'
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gfx/backends/headless.hpp"
#include "gfx/blit.hpp"
#include "gfx/blit_rows.hpp"
#include "gfx/image.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"

#ifdef BENCH_HAVE_PIXMAN
#include <pixman.h>
#endif
#ifdef BENCH_HAVE_SDL
#include <SDL.h>
#endif

namespace {

constexpr int screen_w = 640, screen_h = 480;

// A source and where it lands on the 640 x 480 screen; the clipped rectangle
// is what every operation of the case draws.
struct Placement {
    const char* name;
    int src_w, src_h, x, y;
    int w() const { return std::min(src_w, screen_w - x); }
    int h() const { return std::min(src_h, screen_h - y); }
};

const Placement placements[] = {
    {"640x480@0,0", 640, 480, 0, 0},
    {"641x241@160,60", 641, 241, 160, 60},
};

struct ModeCase {
    const char* name;
    gfx::BlitMode mode;
    std::int32_t alpha;
};

const ModeCase modes[] = {
    {"Copy", gfx::BlitMode::Copy, -1},        {"Transparent", gfx::BlitMode::Transparent, -1},
    {"Blend66", gfx::BlitMode::Blend, 66},    {"Add255", gfx::BlitMode::Add, 255},
    {"Add128", gfx::BlitMode::Add, 128},      {"Alpha", gfx::BlitMode::Alpha, -1},
};

// Pixels as pictures have them: runs of the transparent key (about a
// quarter) between runs of colours with every alpha.
std::vector<std::uint32_t> source_pixels(int w, int h) {
    std::mt19937 rng(1985u);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
    std::size_t i = 0;
    while (i < pixels.size()) {
        const bool key = rng() % 4 == 0;
        const std::size_t run = 1 + rng() % 64;
        for (std::size_t j = 0; j < run && i < pixels.size(); ++j, ++i) pixels[i] = key ? 0xFFFF00FFu : rng();
    }
    return pixels;
}

std::vector<std::uint32_t> target_pixels() {
    std::mt19937 rng(2024u);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(screen_w) * screen_h);
    for (auto& p : pixels) p = rng() | 0xFF000000u;
    return pixels;
}

void copy_rows(const std::uint8_t* src, int src_pitch, std::uint8_t* dst, int dst_pitch, int w, int h) {
    for (int y = 0; y < h; ++y) std::memcpy(dst + y * dst_pitch, src + y * src_pitch, static_cast<std::size_t>(w) * 4);
}

double median(std::vector<double>& values) {
    if (values.empty()) return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Runs `op` and a memcpy of the same rows alternately; see the top of the file.
void measure(benchmark::State& state, const Placement& p, const std::uint8_t* src, int src_pitch, std::uint8_t* dst,
             int dst_pitch, const std::function<void()>& op) {
    using clock = std::chrono::steady_clock;
    std::vector<double> op_times, ratios;
    std::uint8_t* dst_start = dst + p.y * dst_pitch + p.x * 4;
    for (auto _ : state) {
        const auto t0 = clock::now();
        copy_rows(src, src_pitch, dst_start, dst_pitch, p.w(), p.h());
        benchmark::ClobberMemory();
        const auto t1 = clock::now();
        op();
        benchmark::ClobberMemory();
        const auto t2 = clock::now();
        const double copy_seconds = std::chrono::duration<double>(t1 - t0).count();
        const double op_seconds = std::chrono::duration<double>(t2 - t1).count();
        op_times.push_back(op_seconds);
        ratios.push_back(copy_seconds / op_seconds);
        state.SetIterationTime(op_seconds);
    }
    state.counters["Mpix/s"] = static_cast<double>(p.w()) * p.h() / median(op_times) / 1e6;
    state.counters["x_memcpy"] = median(ratios);
}

void open_screen() {
    if (gfx::detail::screen_is_open()) return;
    gfx::screen_request_backend("Headless");
    gfx::screen_open(screen_w, screen_h, 32, 2, 0, 0);
}

// blit through the public call onto the hidden work page, as a frame is drawn.
void bm_blit(benchmark::State& state, const Placement& p, const ModeCase& m) {
    open_screen();
    gfx::screen_set_pages(1, 0);
    gfx::Image* source = gfx::image_create(p.src_w, p.src_h, 0, 0, 0);
    const auto pixels = source_pixels(p.src_w, p.src_h);
    std::memcpy(gfx::image_bytes(*source).data() + 4, pixels.data(), pixels.size() * 4);
    const auto page = gfx::detail::screen_page_surface(1);
    const auto target = target_pixels();
    std::memcpy(page->pixels, target.data(), target.size() * 4);
    state.SetLabel(gfx::detail::blit_rows_active_set());
    measure(state, p, gfx::image_bytes(*source).data() + 4, p.src_w * 4, page->pixels, page->pitch, [&] {
        gfx::blit(nullptr, static_cast<float>(p.x), static_cast<float>(p.y), source, gfx::whole_source,
                  gfx::whole_source, gfx::whole_source, gfx::whole_source, 0, m.mode, m.alpha);
    });
    gfx::image_destroy(source);
}

// One row routine of one instruction set, without blit's checks.
void bm_rows(benchmark::State& state, const Placement& p, const ModeCase& m, gfx::detail::RowRoutine routine) {
    const auto src = source_pixels(p.src_w, p.src_h);
    auto dst = target_pixels();
    auto* src_bytes = reinterpret_cast<const std::uint8_t*>(src.data());
    auto* dst_bytes = reinterpret_cast<std::uint8_t*>(dst.data());
    measure(state, p, src_bytes, p.src_w * 4, dst_bytes, screen_w * 4, [&] {
        routine(src_bytes, dst_bytes + p.y * screen_w * 4 + p.x * 4, p.w(), p.h(), p.src_w * 4, screen_w * 4,
                m.alpha);
    });
}

#ifdef BENCH_HAVE_PIXMAN
struct PixmanCase {
    const char* name;  // the nearest blit mode, then the operation
    pixman_op_t op;
    int mask_alpha;  // < 0: no mask; else a solid mask of this strength
};

const PixmanCase pixman_cases[] = {
    {"Copy:SRC", PIXMAN_OP_SRC, -1},
    {"Blend66:OVER+mask66", PIXMAN_OP_OVER, 66},
    {"Add255:ADD", PIXMAN_OP_ADD, -1},
    {"Alpha:OVER", PIXMAN_OP_OVER, -1},
};

void bm_pixman(benchmark::State& state, const Placement& p, const PixmanCase& c) {
    auto src = source_pixels(p.src_w, p.src_h);
    auto dst = target_pixels();
    pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, p.src_w, p.src_h, src.data(), p.src_w * 4);
    pixman_image_t* d = pixman_image_create_bits(PIXMAN_a8r8g8b8, screen_w, screen_h, dst.data(), screen_w * 4);
    pixman_image_t* mask = nullptr;
    if (c.mask_alpha >= 0) {
        const pixman_color_t colour{0, 0, 0, static_cast<std::uint16_t>(c.mask_alpha * 257)};
        mask = pixman_image_create_solid_fill(&colour);
    }
    measure(state, p, reinterpret_cast<const std::uint8_t*>(src.data()), p.src_w * 4,
            reinterpret_cast<std::uint8_t*>(dst.data()), screen_w * 4, [&] {
                pixman_image_composite32(c.op, s, mask, d, 0, 0, 0, 0, p.x, p.y, p.w(), p.h());
            });
    if (mask != nullptr) pixman_image_unref(mask);
    pixman_image_unref(s);
    pixman_image_unref(d);
}
#endif

#ifdef BENCH_HAVE_SDL
struct SdlCase {
    const char* name;  // the nearest blit mode, then the operation
    SDL_BlendMode blend;
    bool key;
    int alpha_mod;  // < 0: none
};

const SdlCase sdl_cases[] = {
    {"Copy:NONE", SDL_BLENDMODE_NONE, false, -1},
    {"Transparent:NONE+key", SDL_BLENDMODE_NONE, true, -1},
    {"Blend66:BLEND+key+mod66", SDL_BLENDMODE_BLEND, true, 66},
    {"Add255:ADD+key", SDL_BLENDMODE_ADD, true, -1},
    {"Alpha:BLEND", SDL_BLENDMODE_BLEND, false, -1},
};

void bm_sdl(benchmark::State& state, const Placement& p, const SdlCase& c) {
    auto src = source_pixels(p.src_w, p.src_h);
    auto dst = target_pixels();
    SDL_Surface* s =
        SDL_CreateRGBSurfaceWithFormatFrom(src.data(), p.src_w, p.src_h, 32, p.src_w * 4, SDL_PIXELFORMAT_ARGB8888);
    SDL_Surface* d =
        SDL_CreateRGBSurfaceWithFormatFrom(dst.data(), screen_w, screen_h, 32, screen_w * 4, SDL_PIXELFORMAT_ARGB8888);
    SDL_SetSurfaceBlendMode(s, c.blend);
    if (c.key) SDL_SetColorKey(s, SDL_TRUE, 0xFFFF00FFu);
    if (c.alpha_mod >= 0) SDL_SetSurfaceAlphaMod(s, static_cast<Uint8>(c.alpha_mod));
    measure(state, p, reinterpret_cast<const std::uint8_t*>(src.data()), p.src_w * 4,
            reinterpret_cast<std::uint8_t*>(dst.data()), screen_w * 4, [&] {
                SDL_Rect from{0, 0, p.src_w, p.src_h};
                SDL_Rect to{p.x, p.y, p.src_w, p.src_h};
                SDL_BlitSurface(s, &from, d, &to);
            });
    SDL_FreeSurface(s);
    SDL_FreeSurface(d);
}
#endif

bool nearest_to(const char* peer_case, const ModeCase& m) {
    const std::string name = peer_case;
    return name.compare(0, name.find(':'), m.name) == 0;
}

// Placement by placement and mode by mode, each blit followed by its peers,
// so the table reads across; the row routines of every set come after.
void register_all() {
    const auto add = [](const std::string& name, std::function<void(benchmark::State&)> body) {
        benchmark::RegisterBenchmark(name.c_str(), std::move(body))->UseManualTime()->Unit(benchmark::kMicrosecond);
    };
    for (const Placement& p : placements) {
        for (const ModeCase& m : modes) {
            add(std::string("blit/") + m.name + "/" + p.name, [&p, &m](benchmark::State& s) { bm_blit(s, p, m); });
#ifdef BENCH_HAVE_PIXMAN
            for (const PixmanCase& c : pixman_cases) {
                if (!nearest_to(c.name, m)) continue;
                add(std::string("pixman/") + c.name + "/" + p.name,
                    [&p, &c](benchmark::State& s) { bm_pixman(s, p, c); });
            }
#endif
#ifdef BENCH_HAVE_SDL
            for (const SdlCase& c : sdl_cases) {
                if (!nearest_to(c.name, m)) continue;
                add(std::string("sdl/") + c.name + "/" + p.name, [&p, &c](benchmark::State& s) { bm_sdl(s, p, c); });
            }
#endif
        }
    }
    for (const Placement& p : placements) {
        for (const ModeCase& m : modes) {
            for (const gfx::detail::RowVariant& v : gfx::detail::blit_row_variants()) {
                if (v.mode != m.mode) continue;
                add(std::string("rows/") + m.name + "/" + v.name + "/" + p.name,
                    [&p, &m, routine = v.routine](benchmark::State& s) { bm_rows(s, p, m, routine); });
            }
        }
    }
}

const bool registered = (register_all(), true);

}  // namespace
