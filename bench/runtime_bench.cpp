#include <benchmark/benchmark.h>

#include "gfx/backends/headless.hpp"
#include "gfx/screen.hpp"
#include "runtime/clock.hpp"

namespace {

void BM_clock_seconds(benchmark::State& state) {
    runtime::clock_seconds();  // the source is chosen on the first call
    for (auto _ : state) benchmark::DoNotOptimize(runtime::clock_seconds());
}
BENCHMARK(BM_clock_seconds);

void BM_screen_set_pages(benchmark::State& state) {
    gfx::screen_request_backend("Headless");
    gfx::screen_open(640, 480, 32, 2, 0, 0);
    int page = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gfx::screen_set_pages(page, 1 - page));
        page = 1 - page;
    }
    gfx::screen_close();
    gfx::screen_request_backend("");
}
BENCHMARK(BM_screen_set_pages);

}  // namespace
