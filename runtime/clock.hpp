// The seconds clock.
#pragma once

#include <cstdint>

namespace runtime {

// Seconds from the counter's own origin (the machine's start), never
// decreasing. On first use a source is chosen once: the monotonic
// high-resolution counter (CLOCK_MONOTONIC, factor 1/frequency kept as a
// double), or, when that is missing, a 32-bit millisecond counter times
// 0.001, which wraps after 2^32 ms. After the first call a reading is one
// counter read and one multiplication; nothing is allocated.
// When a driven clock is installed (clock_drive) its value is returned instead.
// Program thread only.
double clock_seconds();

// A clock that a test or tool drives: `read(context)` is called for every
// clock_seconds. Pass nullptr to return to the system clock.
using ClockReader = double (*)(void* context);
void clock_drive(ClockReader read, void* context);

namespace detail {

enum class ClockSource : std::uint8_t { None, Milliseconds, HighResolution };

// Forgets the chosen source so the next clock_seconds chooses again.
void clock_reset();
// Makes the next choice behave as on a platform without a high-resolution
// counter, so the millisecond path runs. For tests.
void clock_simulate_no_high_resolution(bool missing);
ClockSource clock_source();

// The millisecond counter's conversion: ms since start (wrapping 32-bit) to seconds.
inline double milliseconds_to_seconds(std::uint32_t ms) { return static_cast<double>(ms) * 0.001; }

}  // namespace detail
}  // namespace runtime
