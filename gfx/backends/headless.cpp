#include "gfx/backends/headless.hpp"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <utility>

#include "gfx/surface.hpp"

namespace gfx {
namespace {

// State shared between the update thread (the back end's members) and the
// control functions called by tests from other threads; under g_mutex.
std::mutex g_mutex;
std::condition_variable g_cycled;
struct Shared {
    bool exists = false;
    HeadlessMonitor monitor;
    std::uint64_t presents = 0;
    std::uint64_t cycles = 0;
    std::uint8_t down[128] = {};
    std::uint8_t latched[128] = {};
    bool focused = true;
    bool focus_event = false;
    bool toggle_event = false;
    HeadlessWindow window;
} g_shared;

class HeadlessBackend final : public detail::Backend {
public:
    // Destroying the back end (screen_close) clears the shared state.
    ~HeadlessBackend() override { release(); }

    bool open(const detail::DisplayRequest& request, std::string& why) override {
        std::lock_guard guard(g_mutex);
        if (g_shared.exists && !owner_) {
            why = "already in use";
            return false;
        }
        owner_ = true;
        g_shared.exists = true;
        g_shared.monitor.width = request.width;
        g_shared.monitor.height = request.height;
        g_shared.monitor.pixels.assign(static_cast<std::size_t>(request.width) * request.height, 0);
        g_shared.window.open = true;
        g_shared.window.full_screen = (request.flags & 1) != 0;
        g_shared.window.title = request.title;
        g_shared.window.opens++;
        return true;
    }

    void close() override {
        std::lock_guard guard(g_mutex);
        if (!owner_) return;
        g_shared.window.open = false;
        // A mode switch reopens at once; the monitor and counters stay.
    }

    int refresh_rate() const override { return 60; }

    void present(const detail::FrameView& frame) override {
        std::lock_guard guard(g_mutex);
        auto& monitor = g_shared.monitor;
        for (std::int32_t y = 0; y < frame.height && y < monitor.height; ++y) {
            if (frame.row_changed[y] == 0) continue;
            std::memcpy(&monitor.pixels[static_cast<std::size_t>(y) * monitor.width],
                        frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.pitch,
                        static_cast<std::size_t>(std::min(frame.width, monitor.width)) * 4);
        }
        g_shared.presents++;
    }

    bool active() const override {
        std::lock_guard guard(g_mutex);
        return g_shared.focused;
    }

    void sample_keys(std::uint8_t (&table)[128]) override {
        std::lock_guard guard(g_mutex);
        for (int c = 0; c < 128; ++c) table[c] = (g_shared.down[c] | g_shared.latched[c]) != 0 ? 1 : 0;
        std::memset(g_shared.latched, 0, sizeof g_shared.latched);
    }

    void poll(detail::BackendEvents& events) override {
        {
            std::lock_guard guard(g_mutex);
            events.focus_changed = std::exchange(g_shared.focus_event, false);
            events.toggle_requested = std::exchange(g_shared.toggle_event, false);
            g_shared.cycles++;
        }
        g_cycled.notify_all();
    }

    void set_title(const std::string& title) override {
        std::lock_guard guard(g_mutex);
        g_shared.window.title = title;
    }

    void set_pointer(const detail::PointerRequest& request) override {
        std::lock_guard guard(g_mutex);
        if (request.move) {
            g_shared.window.pointer_x = request.x;
            g_shared.window.pointer_y = request.y;
        }
        if (request.cursor >= 0) g_shared.window.pointer_hidden = request.cursor == 0;
        if (request.clip >= 0) g_shared.window.pointer_confined = request.clip > 0;
    }

    // The last owner's end clears the shared state for the next screen.
    void release() {
        std::lock_guard guard(g_mutex);
        if (!owner_) return;
        owner_ = false;
        g_shared = Shared{};
    }

private:
    bool owner_ = false;
};

}  // namespace

HeadlessMonitor headless_monitor() {
    std::lock_guard guard(g_mutex);
    return g_shared.monitor;
}

std::uint64_t headless_present_count() {
    std::lock_guard guard(g_mutex);
    return g_shared.presents;
}

bool headless_wait_cycles(int cycles) {
    std::unique_lock hold(g_mutex);
    if (!g_shared.exists) return false;
    const std::uint64_t target = g_shared.cycles + static_cast<std::uint64_t>(cycles);
    return g_cycled.wait_for(hold, std::chrono::seconds(2),
                             [&] { return !g_shared.exists || g_shared.cycles >= target; }) &&
           g_shared.exists;
}

void headless_press_key(int scan_code) {
    if (scan_code < 0 || scan_code > 127) return;
    {
        std::lock_guard guard(g_mutex);
        if (!g_shared.focused) return;
        g_shared.down[scan_code] = 1;
        g_shared.latched[scan_code] = 1;
    }
    // Seen by key_down at once, so a driven run reacts on a known frame.
    detail::screen_press_key(scan_code);
}

void headless_release_key(int scan_code) {
    if (scan_code < 0 || scan_code > 127) return;
    std::lock_guard guard(g_mutex);
    g_shared.down[scan_code] = 0;
}

void headless_set_key_now(int scan_code, bool down) {
    if (scan_code < 0 || scan_code > 127) return;
    {
        std::lock_guard guard(g_mutex);
        g_shared.down[scan_code] = down ? 1 : 0;
        g_shared.latched[scan_code] = 0;
    }
    detail::screen_set_key(scan_code, down);
}

void headless_set_focus(bool focused) {
    std::lock_guard guard(g_mutex);
    if (g_shared.focused == focused) return;
    g_shared.focused = focused;
    g_shared.focus_event = true;
    // Keys held across a focus change read as up until sampled again.
    std::memset(g_shared.down, 0, sizeof g_shared.down);
    std::memset(g_shared.latched, 0, sizeof g_shared.latched);
}

void headless_request_toggle() {
    std::lock_guard guard(g_mutex);
    g_shared.toggle_event = true;
}

HeadlessWindow headless_window() {
    std::lock_guard guard(g_mutex);
    return g_shared.window;
}

namespace detail {
std::unique_ptr<Backend> make_headless_backend() { return std::make_unique<HeadlessBackend>(); }
}  // namespace detail

}  // namespace gfx
