#include "runtime/random.hpp"

namespace runtime {
namespace {

constexpr std::uint32_t start_state = 1;
std::uint32_t g_state = start_state;
double g_last = 0.0;

}  // namespace

double random_unit(float n) {
    if (n == 0.0f) return g_last;
    g_last = static_cast<double>(detail::random_next()) * (1.0 / 32768.0);
    return g_last;
}

namespace detail {

std::int32_t random_next() {
    // The low bits of an LCG with a power-of-two modulus have short periods;
    // the result takes bits 16..30, whose period is long.
    g_state = g_state * 1103515245u + 12345u;
    return static_cast<std::int32_t>((g_state >> 16) & 0x7FFFu);
}

void random_reset() {
    g_state = start_state;
    g_last = 0.0;
}

}  // namespace detail
}  // namespace runtime
