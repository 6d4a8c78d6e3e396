#include "gfx/screen.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "gfx/display.hpp"
#include "gfx/draw_state.hpp"
#include "gfx/surface.hpp"
#include "runtime/start.hpp"

namespace gfx {
namespace {

using namespace std::chrono_literals;

// The display lock. Constant-initialised so it outlives the exit handler
// that closes the screen.
constinit std::mutex g_display_mutex;
thread_local int t_lock_depth = 0;

struct AlignedFree {
    void operator()(std::uint8_t* p) const { std::free(p); }
};
using PageBuffer = std::unique_ptr<std::uint8_t, AlignedFree>;

struct ScreenState {
    // Set before the update thread starts and constant while it runs.
    std::int32_t width = 0, height = 0, depth = 0, bpp = 0, pitch = 0, page_count = 0;
    std::vector<PageBuffer> pages;
    std::unique_ptr<detail::Backend> backend;
    const detail::BackendEntry* entry = nullptr;

    // Under the display lock: written by the program's thread (visible page,
    // row flags on drawing) and by the update thread (row flags, keys).
    std::int32_t visible_page = 0;
    std::vector<std::uint8_t> row_changed;
    std::uint8_t keys[128] = {};
    std::uint32_t flags = 0;  // the full-screen bit changes on a mode switch
    std::int32_t refresh = 0;
    std::vector<std::uint8_t> staging;  // 32-bit copy of pages of other pixel sizes
    std::array<std::array<std::uint8_t, 3>, 256> palette{};

    // Requests handed to the update thread; under g_request_mutex.
    std::mutex request_mutex;
    bool title_pending = false;
    std::string title;
    bool pointer_pending = false;
    detail::PointerRequest pointer;

    // Update-thread life.
    std::jthread thread;
    std::mutex life_mutex;
    std::condition_variable_any life_cv;
    bool open_done = false;
    bool open_ok = false;
    bool finished = false;
    std::string open_why;
};

std::unique_ptr<ScreenState> g_screen;  // program thread only
std::string g_title;                    // program thread only
bool g_title_set = false;
std::string g_requested_backend;
std::string g_open_failure;
bool g_exit_handler_registered = false;

std::string current_title() {
    return g_title_set ? g_title : std::string(runtime::runtime_program_name());
}

bool valid_depth(std::int32_t depth) {
    switch (depth) {
        case 1: case 2: case 4: case 8: case 15: case 16: case 24: case 32: return true;
        default: return false;
    }
}

void mark_all(ScreenState& s) { std::fill(s.row_changed.begin(), s.row_changed.end(), std::uint8_t{1}); }

// Pages of 1 or 2 bytes a pixel reach the back end as 32-bit pixels: grey
// levels through the palette for 1 byte, 5-6-5 colour for 2.
const std::uint8_t* present_pixels(ScreenState& s, const std::uint8_t* page, std::int32_t& pitch) {
    if (s.bpp == 4) {
        pitch = s.pitch;
        return page;
    }
    const std::int32_t out_pitch = s.width * 4;
    s.staging.resize(static_cast<std::size_t>(out_pitch) * s.height);
    for (std::int32_t y = 0; y < s.height; ++y) {
        if (s.row_changed[y] == 0) continue;
        const std::uint8_t* in = page + static_cast<std::ptrdiff_t>(y) * s.pitch;
        std::uint8_t* out = s.staging.data() + static_cast<std::ptrdiff_t>(y) * out_pitch;
        for (std::int32_t x = 0; x < s.width; ++x, out += 4) {
            if (s.bpp == 1) {
                const auto& e = s.palette[in[x]];
                out[0] = e[2]; out[1] = e[1]; out[2] = e[0];
            } else {
                const std::uint16_t v = static_cast<std::uint16_t>(in[2 * x] | (in[2 * x + 1] << 8));
                out[0] = static_cast<std::uint8_t>((v & 0x1F) << 3);
                out[1] = static_cast<std::uint8_t>(((v >> 5) & 0x3F) << 2);
                out[2] = static_cast<std::uint8_t>((v >> 11) << 3);
            }
            out[3] = 0xFF;
        }
    }
    pitch = out_pitch;
    return s.staging.data();
}

detail::DisplayRequest make_request(const ScreenState& s, std::uint32_t flags, std::int32_t refresh,
                                    const std::string& title) {
    return detail::DisplayRequest{s.width, s.height, s.depth, flags, refresh, title};
}

bool open_backend(ScreenState& s, std::uint32_t flags, std::int32_t refresh, const std::string& title,
                  std::string& why) {
    if (s.backend->open(make_request(s, flags, refresh, title), why)) {
        s.refresh = s.backend->refresh_rate();
        return true;
    }
    s.backend->close();
    if (refresh != 0 && s.backend->open(make_request(s, flags, 0, title), why)) {
        s.refresh = s.backend->refresh_rate();
        return true;
    }
    s.backend->close();
    return false;
}

// Alt+Enter or a maximise request: reopen in the other mode, or in the
// previous one when the other cannot be had. Pages and the program are untouched.
void switch_mode(ScreenState& s) {
    std::string why;
    const std::string title = [&] {
        std::lock_guard guard(s.request_mutex);
        return s.title;
    }();
    s.backend->close();
    const std::uint32_t other = s.flags ^ screen_full_screen;
    if (open_backend(s, other, s.refresh, title, why)) {
        s.flags = other;
    } else {
        open_backend(s, s.flags, s.refresh, title, why);
    }
    mark_all(s);
}

void run_cycle(ScreenState& s) {
    std::lock_guard lock(g_display_mutex);
    const std::uint8_t* page = s.pages[static_cast<std::size_t>(s.visible_page)].get();
    if (std::find(s.row_changed.begin(), s.row_changed.end(), 1) != s.row_changed.end()) {
        std::int32_t pitch = 0;
        const std::uint8_t* pixels = present_pixels(s, page, pitch);
        s.backend->present(detail::FrameView{pixels, s.width, s.height, pitch, s.row_changed.data()});
        std::fill(s.row_changed.begin(), s.row_changed.end(), std::uint8_t{0});
    }
    if (s.backend->active()) s.backend->sample_keys(s.keys);

    detail::BackendEvents events;
    s.backend->poll(events);
    if (events.focus_changed) {
        std::memset(s.keys, 0, sizeof s.keys);
        mark_all(s);
    }
    if (events.toggle_requested && (s.flags & screen_fixed_mode) == 0 && s.backend->active()) switch_mode(s);

    bool title_pending = false, pointer_pending = false;
    std::string title;
    detail::PointerRequest pointer;
    {
        std::lock_guard guard(s.request_mutex);
        std::swap(title_pending, s.title_pending);
        std::swap(pointer_pending, s.pointer_pending);
        if (title_pending) title = s.title;
        if (pointer_pending) pointer = s.pointer;
        s.pointer = {};
    }
    if (title_pending) s.backend->set_title(title);
    if (pointer_pending) s.backend->set_pointer(pointer);
}

void update_thread(std::stop_token stop, ScreenState& s, std::uint32_t flags, std::int32_t refresh,
                   std::string title) {
    std::string why;
    const bool ok = open_backend(s, flags, refresh, title, why);
    {
        std::lock_guard guard(s.life_mutex);
        s.open_done = true;
        s.open_ok = ok;
        s.open_why = why;
        if (ok) s.flags = flags;
    }
    s.life_cv.notify_all();
    if (ok) {
        std::mutex sleep_mutex;
        std::condition_variable_any sleeper;
        while (!stop.stop_requested()) {
            {
                std::unique_lock hold(sleep_mutex);
                sleeper.wait_for(hold, stop, 10ms, [] { return false; });
            }
            if (stop.stop_requested()) break;
            run_cycle(s);
        }
        s.backend->close();
    }
    {
        std::lock_guard guard(s.life_mutex);
        s.finished = true;
    }
    s.life_cv.notify_all();
}

// Starts an update thread for `entry` and waits until it has taken the
// display or ended.
bool try_backend(ScreenState& s, const detail::BackendEntry& entry, std::uint32_t flags, std::int32_t refresh,
                 std::string& why) {
    s.backend = entry.make();
    s.entry = &entry;
    s.open_done = s.open_ok = s.finished = false;
    s.thread = std::jthread(update_thread, std::ref(s), flags, refresh, current_title());
    std::unique_lock hold(s.life_mutex);
    s.life_cv.wait(hold, [&] { return s.open_done; });
    if (s.open_ok) return true;
    why = s.open_why.empty() ? "could not open" : s.open_why;
    hold.unlock();
    s.thread.join();
    s.backend.reset();
    s.entry = nullptr;
    return false;
}

void exit_handler() { screen_close(); }

}  // namespace

DisplayLock::DisplayLock() {
    if (t_lock_depth++ == 0) g_display_mutex.lock();
}

DisplayLock::~DisplayLock() {
    if (--t_lock_depth == 0) g_display_mutex.unlock();
}

Status screen_open(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t page_count,
                   std::uint32_t flags, std::int32_t refresh) {
    if (width <= 0 || height <= 0 || !valid_depth(depth)) return Status::IllegalCall;
    if (depth == 24) depth = 32;
    page_count = std::max(page_count, 1);
    // Rows are addressed with 32-bit pitches; a page whose pitch cannot be one is refused.
    if (static_cast<std::int64_t>(width) * ((depth + 7) / 8) > INT32_MAX) return Status::IllegalCall;
    if (g_screen) screen_close();

    auto s = std::make_unique<ScreenState>();
    s->width = width;
    s->height = height;
    s->depth = depth;
    s->bpp = (depth + 7) / 8;
    s->pitch = width * s->bpp;
    s->page_count = page_count;
    const std::size_t page_bytes = static_cast<std::size_t>(s->pitch) * static_cast<std::size_t>(height);
    for (std::int32_t i = 0; i < page_count; ++i) {
        // 64-byte alignment keeps rows of common widths aligned for vector stores.
        const std::size_t rounded = (page_bytes + 63) / 64 * 64;
        PageBuffer page(static_cast<std::uint8_t*>(std::aligned_alloc(64, rounded)));
        if (!page) {
            g_open_failure = "out of memory for the pages";
            return Status::IllegalCall;
        }
        s->pages.push_back(std::move(page));
    }
    s->row_changed.assign(static_cast<std::size_t>(height), 0);
    // Fill before any back end shows a page.
    for (auto& page : s->pages) {
        if (s->bpp == 4) {
            for (std::int32_t y = 0; y < height; ++y) {
                detail::fill_span(page.get() + static_cast<std::size_t>(y) * s->pitch, 0xFF000000u, width, 4);
            }
        } else {
            std::memset(page.get(), 0, page_bytes);
        }
    }
    {
        std::lock_guard guard(s->request_mutex);
        s->title = current_title();
    }

    std::string report;
    bool opened = false;
    for (int pass = 0; pass < 2 && !opened; ++pass) {
        const std::uint32_t pass_flags = pass == 0 ? flags : flags ^ screen_full_screen;
        for (const auto& entry : detail::backend_table()) {
            const bool chosen = g_requested_backend.empty() ? !entry.explicit_only && (entry.required_flag == 0 ||
                                                                                      (flags & entry.required_flag) != 0)
                                                            : g_requested_backend == entry.name;
            if (!chosen) continue;
            std::string why;
            if (try_backend(*s, entry, pass_flags, refresh, why)) {
                opened = true;
                break;
            }
            if (pass == 0) report += (report.empty() ? "" : "; ") + std::string(entry.name) + ": " + why;
        }
    }
    if (!opened) {
        g_open_failure = report.empty() ? "no display back end named \"" + g_requested_backend + "\"" : report;
        return Status::IllegalCall;
    }
    g_open_failure.clear();
    {
        std::lock_guard lock(g_display_mutex);
        mark_all(*s);
    }
    g_screen = std::move(s);
    detail::draw_state_reset();
    if (!g_exit_handler_registered) {
        g_exit_handler_registered = true;
        std::atexit(exit_handler);
    }
    return Status::Ok;
}

void screen_request_backend(std::string_view name) { g_requested_backend = std::string(name); }

std::string screen_open_failure() { return g_open_failure; }

std::int32_t screen_set_pages(std::int32_t work, std::int32_t visible) {
    if (!g_screen) return -1;
    ScreenState& s = *g_screen;
    detail::DrawState& state = detail::draw_state();
    const std::int32_t previous = (state.work_page & 0xFF) | ((s.visible_page & 0xFF) << 8);
    if (work < 0 && visible < 0) work = visible = 0;
    if (work >= 0 && work < s.page_count) state.work_page = work;
    if (visible >= 0 && visible < s.page_count && visible != s.visible_page) {
        DisplayLock lock;
        s.visible_page = visible;
        mark_all(s);
    }
    return previous;
}

DriverInfo screen_driver_name() {
    DriverInfo info;
    if (g_screen) {
        const ScreenState& s = *g_screen;
        info.name = runtime::Text(s.entry->name);
        info.width = s.width;
        info.height = s.height;
        info.depth = s.depth;
        info.bytes_per_pixel = s.bpp;
        info.pitch = s.pitch;
        DisplayLock lock;
        info.refresh_rate = s.refresh;
        return info;
    }
    for (const auto& entry : detail::backend_table()) {
        detail::DesktopInfo desktop;
        if (entry.desktop != nullptr && entry.desktop(desktop)) {
            info.width = desktop.width;
            info.height = desktop.height;
            info.depth = desktop.depth;
            info.refresh_rate = desktop.refresh;
            break;
        }
    }
    return info;
}

void set_window_title(std::string_view title) {
    g_title = std::string(title.substr(0, 127));
    g_title_set = true;
    if (!g_screen) return;
    std::lock_guard guard(g_screen->request_mutex);
    g_screen->title = g_title;
    g_screen->title_pending = true;
}

std::string window_title() { return current_title(); }

Status set_mouse_cursor(std::int32_t x, std::int32_t y, std::int32_t cursor, std::int32_t clip) {
    if (!g_screen) return Status::IllegalCall;
    ScreenState& s = *g_screen;
    DisplayLock lock;
    std::lock_guard guard(s.request_mutex);
    if (x >= 0) {
        s.pointer.move = true;
        s.pointer.x = std::min(x, s.width - 1);
        s.pointer.y = std::clamp(y, 0, s.height - 1);
    }
    if (cursor >= 0) s.pointer.cursor = cursor;
    if (clip >= 0) s.pointer.clip = clip;
    s.pointer_pending = true;
    return Status::Ok;
}

std::int32_t key_down(std::int32_t scan_code) {
    if (!g_screen || scan_code < 0 || scan_code > 127) return 0;
    DisplayLock lock;
    return g_screen->keys[scan_code] != 0 ? -1 : 0;
}

void screen_close() {
    if (!g_screen) return;
    std::unique_ptr<ScreenState> s = std::move(g_screen);
    s->thread.request_stop();
    bool finished = false;
    {
        std::unique_lock hold(s->life_mutex);
        finished = s->life_cv.wait_for(hold, 1000ms, [&] { return s->finished; });
    }
    if (finished) {
        s->thread.join();
    } else {
        // A back end stuck in the window system: leave it (and the state it
        // uses) to the process's end rather than free memory under it.
        s->thread.detach();
        (void)s.release();
    }
}

namespace detail {

bool screen_is_open() { return g_screen != nullptr; }

std::int32_t screen_bytes_per_pixel() { return g_screen ? g_screen->bpp : 0; }

std::int32_t screen_page_count() { return g_screen ? g_screen->page_count : 0; }

std::optional<Surface> screen_page_surface(std::int32_t page) {
    if (!g_screen || page < 0 || page >= g_screen->page_count) return std::nullopt;
    const ScreenState& s = *g_screen;
    return Surface{s.pages[static_cast<std::size_t>(page)].get(), s.width, s.height, s.pitch, s.bpp, page};
}

void mark_rows_changed(const Surface& target, std::int32_t first, std::int32_t last) {
    if (!g_screen || target.page < 0 || target.page != g_screen->visible_page) return;
    first = std::max(first, 0);
    last = std::min(last, g_screen->height - 1);
    for (std::int32_t y = first; y <= last; ++y) g_screen->row_changed[static_cast<std::size_t>(y)] = 1;
}

void screen_press_key(std::int32_t scan_code) { screen_set_key(scan_code, true); }

void screen_set_key(std::int32_t scan_code, bool down) {
    if (!g_screen || scan_code < 0 || scan_code > 127) return;
    DisplayLock lock;
    g_screen->keys[scan_code] = down ? 1 : 0;
}

std::int32_t screen_visible_page() { return g_screen ? g_screen->visible_page : -1; }

std::array<std::array<std::uint8_t, 3>, 256>& palette_table() {
    static std::array<std::array<std::uint8_t, 3>, 256> none{};
    return g_screen ? g_screen->palette : none;
}

}  // namespace detail
}  // namespace gfx
