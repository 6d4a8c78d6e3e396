#include "runtime/start.hpp"

#include <cfenv>
#include <cmath>
#include <string>
#include <vector>

#include "runtime/clock.hpp"
#include "runtime/random.hpp"

namespace runtime {
namespace {

std::vector<char*> g_arguments;
std::string g_program_name;

std::string program_name_from(const char* path) {
    std::string_view name = path != nullptr ? path : "";
    if (auto slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
    // A leading dot names a hidden file, not an extension.
    if (auto dot = name.rfind('.'); dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return std::string(name);
}

}  // namespace

void runtime_start(int argc, char** argv) {
    // x86-64 does its double arithmetic in SSE registers, which have no wider
    // precision to select; the rounding direction is what remains to fix.
    std::fesetround(FE_TONEAREST);
    detail::random_reset();
    detail::clock_reset();
    g_arguments.assign(argv, argv + (argc > 0 ? argc : 0));
    g_program_name = program_name_from(argc > 0 ? argv[0] : nullptr);
}

std::span<char* const> runtime_arguments() { return g_arguments; }

std::string_view runtime_program_name() { return g_program_name; }

std::int32_t round_even(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    const double below = std::floor(value);
    const double fraction = value - below;  // exact: both lie in the same binade or below
    double result = below;
    if (fraction > 0.5) {
        result = below + 1.0;
    } else if (fraction == 0.5) {
        result = std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
    }
    return static_cast<std::int32_t>(result);
}

}  // namespace runtime
