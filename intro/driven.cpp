#include "intro/driven.hpp"

#include <cmath>

#include "gfx/backends/headless.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"
#include "intro/flow.hpp"
#include "runtime/clock.hpp"

namespace intro {
namespace {

constexpr int escape = 1;

struct Driver {
    const DrivenRun& settings;
    std::int64_t readings = 0;
    std::int64_t next_sample = 0;
    struct PressState {
        bool down = false, done = false, made_in_demo = false;
    };
    std::vector<PressState> presses;
    bool escape_down = false;
    bool ending = false;

    explicit Driver(const DrivenRun& s) : settings(s), presses(s.escapes.size()) {}

    // Emits every sample instant up to `time` from the page now visible: a
    // frame only reaches the visible page complete.
    void sample_until(double time) {
        if (!settings.on_sample) return;
        while (static_cast<double>(next_sample) / settings.sample_rate <= time) {
            const double at = static_cast<double>(next_sample) / settings.sample_rate;
            if (at >= settings.end) return;
            const auto page = gfx::detail::screen_page_surface(gfx::detail::screen_visible_page());
            if (page && page->bpp == 4) {
                Sample sample;
                sample.index = next_sample;
                sample.time = at;
                sample.pixels = reinterpret_cast<const std::uint32_t*>(page->pixels);
                sample.width = page->width;
                sample.height = page->height;
                settings.on_sample(sample);
            }
            ++next_sample;
        }
    }

    // A press made before the demo scene is let go of once the boot scene is
    // over, before the demo scene looks at the key; one made in the demo
    // scene (or set-up) is held until the intro exits.
    void script_escape(double time) {
        const Stage stage = current_stage();
        const bool demo = stage == Stage::DemoSetup || stage == Stage::Demo || stage == Stage::Shutdown;
        bool held = ending;
        for (std::size_t i = 0; i < settings.escapes.size(); ++i) {
            const EscapePress& press = settings.escapes[i];
            PressState& state = presses[i];
            if (!state.down && !state.done && time >= press.at) {
                state.down = true;
                state.made_in_demo = demo;
            }
            if (state.down && !press.hold_to_end && !state.made_in_demo && demo) {
                state.down = false;
                state.done = true;
            }
            held = held || state.down;
        }
        if (held != escape_down) {
            escape_down = held;
            gfx::headless_set_key_now(escape, held);
        }
    }

    double read() {
        const double time = static_cast<double>(readings) * settings.step;
        ++readings;
        sample_until(time);
        if (time >= settings.end) ending = true;
        script_escape(time);
        if (settings.on_reading) settings.on_reading(time);
        return settings.clock_origin + time;
    }

};

}  // namespace

int driven_run(const DrivenRun& settings, int argc, char** argv) {
    Driver driver(settings);
    gfx::screen_request_backend("Headless");
    runtime::clock_drive([](void* self) { return static_cast<Driver*>(self)->read(); }, &driver);
    const int status = run(argc, argv);
    runtime::clock_drive(nullptr, nullptr);
    gfx::screen_request_backend("");
    return status;
}

}  // namespace intro
