#include "runtime/clock.hpp"

#include <time.h>

namespace runtime {
namespace {

detail::ClockSource g_source = detail::ClockSource::None;
double g_factor = 0.0;  // seconds per counter step
bool g_simulate_missing = false;
ClockReader g_driven = nullptr;
void* g_driven_context = nullptr;

void choose_source() {
    timespec resolution{};
    if (!g_simulate_missing && clock_getres(CLOCK_MONOTONIC, &resolution) == 0 &&
        (resolution.tv_sec != 0 || resolution.tv_nsec != 0)) {
        // The counter is read in nanoseconds; its frequency is 1e9 steps a second
        // whatever the resolution the kernel reports.
        g_factor = 1.0 / 1e9;
        g_source = detail::ClockSource::HighResolution;
    } else {
        g_source = detail::ClockSource::Milliseconds;
    }
}

std::int64_t read_nanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

double clock_seconds() {
    if (g_driven != nullptr) return g_driven(g_driven_context);
    if (g_source == detail::ClockSource::None) choose_source();
    if (g_source == detail::ClockSource::HighResolution) {
        return static_cast<double>(read_nanoseconds()) * g_factor;
    }
    const auto ms = static_cast<std::uint32_t>(read_nanoseconds() / 1000000);
    return detail::milliseconds_to_seconds(ms);
}

void clock_drive(ClockReader read, void* context) {
    g_driven = read;
    g_driven_context = context;
}

namespace detail {

void clock_reset() { g_source = ClockSource::None; }

void clock_simulate_no_high_resolution(bool missing) {
    g_simulate_missing = missing;
    g_source = ClockSource::None;
}

ClockSource clock_source() { return g_source; }

}  // namespace detail
}  // namespace runtime
