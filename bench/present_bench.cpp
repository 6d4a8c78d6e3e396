// The update thread's share of one intro frame: presenting a whole changed
// 640 x 480 page, for each display back end, in a window and full screen on
// a 1280 x 1024 screen (the page scaled twice). The back end is driven
// directly in the benchmark's thread (open, then present and poll per
// iteration), on a private Xvfb the benchmark starts; without Xvfb it uses
// $DISPLAY, and without that it skips. Wall time: much of the work is the X
// server's, and the update thread holds the display lock until its copy is
// handed over.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gfx/display.hpp"
#include "tests/support/xvfb.hpp"

namespace {

constexpr int page_w = 640, page_h = 480;

// One server per kind, started on first use and kept for the whole run.
const char* bench_display(bool shared_memory, std::string& why) {
    static std::unique_ptr<test_support::Xvfb> servers[2];
    if (!test_support::Xvfb::installed()) {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == 0) why = "neither Xvfb nor a DISPLAY";
        if (!shared_memory) why = "needs Xvfb to run a server without MIT-SHM";
        return why.empty() ? display : nullptr;
    }
    auto& server = servers[shared_memory ? 1 : 0];
    if (!server) server = std::make_unique<test_support::Xvfb>(test_support::XvfbOptions{1280, 1024, 24, shared_memory});
    if (!server->ok()) {
        why = server->error();
        return nullptr;
    }
    return server->display().c_str();
}

void BM_present(benchmark::State& state, const char* backend_name, bool full_screen, bool shared_memory) {
    const gfx::detail::BackendEntry* entry = nullptr;
    for (const auto& e : gfx::detail::backend_table()) {
        if (std::string(e.name) == backend_name) entry = &e;
    }
    if (entry == nullptr) {
        state.SkipWithError("back end not built");
        return;
    }
    std::string why;
    const char* display = bench_display(shared_memory, why);
    if (display == nullptr) {
        state.SkipWithError(why.c_str());
        return;
    }
    ::setenv("DISPLAY", display, 1);

    auto backend = entry->make();
    const gfx::detail::DisplayRequest request{page_w, page_h, 32, full_screen ? 1u : 0u, 0, "present bench"};
    if (!backend->open(request, why)) {
        backend->close();
        state.SkipWithError(why.c_str());
        return;
    }
    std::mt19937 rng(20240607);
    std::vector<std::uint32_t> page(static_cast<std::size_t>(page_w) * page_h);
    for (auto& p : page) p = static_cast<std::uint32_t>(rng());
    const std::vector<std::uint8_t> all_rows(page_h, 1);
    const gfx::detail::FrameView frame{reinterpret_cast<const std::uint8_t*>(page.data()), page_w, page_h, page_w * 4,
                                       all_rows.data()};
    gfx::detail::BackendEvents events;
    for (auto _ : state) {
        backend->present(frame);
        backend->poll(events);
    }
    backend->close();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * page_w * page_h * 4);
}

BENCHMARK_CAPTURE(BM_present, Headless, "Headless", false, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_present, SDL_window, "SDL", false, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_present, SDL_full_screen_x2, "SDL", true, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_present, X11_window, "X11", false, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_present, X11_full_screen_x2, "X11", true, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_present, X11_window_no_shm, "X11", false, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_present, OpenGL_window, "OpenGL", false, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_present, OpenGL_full_screen_x2, "OpenGL", true, true)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
