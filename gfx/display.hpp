// The seam between the screen and the window system: the interface every
// display back end fills, and the ordered table that screen_open walks.
//
// Every member of Backend is called on the screen's update thread only, so
// a back end may keep window-system state that is not thread-safe. The
// screen calls present, sample_keys, poll and the request members while it
// holds the display lock.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace gfx::detail {

struct DisplayRequest {
    std::int32_t width = 0, height = 0;  // the page size in pixels
    std::int32_t depth = 32;
    std::uint32_t flags = 0;             // screen_open's bits; bit 1 is full screen
    std::int32_t refresh = 0;            // Hz; 0: the display's default
    std::string title;                   // the window title to start with
};

// The changed rows of the visible page, as 0xAARRGGBB pixels (4 bytes each,
// alpha never shown). row_changed[y] != 0 marks a row to copy.
struct FrameView {
    const std::uint8_t* pixels = nullptr;
    std::int32_t width = 0, height = 0, pitch = 0;
    const std::uint8_t* row_changed = nullptr;

    // The first and last changed rows; false when no row changed.
    bool changed_span(std::int32_t& first, std::int32_t& last) const {
        first = last = -1;
        for (std::int32_t y = 0; y < height; ++y) {
            if (row_changed[y] == 0) continue;
            if (first < 0) first = y;
            last = y;
        }
        return first >= 0;
    }
};

// What poll saw since the last call.
struct BackendEvents {
    bool focus_changed = false;       // the window gained or lost the focus
    bool toggle_requested = false;    // Alt+Enter pressed (not a repeat) or a maximise request
};

struct PointerRequest {
    bool move = false;
    std::int32_t x = 0, y = 0;  // screen pixel, already clamped
    std::int32_t cursor = -1;   // 0 hide, > 0 show, < 0 leave
    std::int32_t clip = -1;     // 0 free, > 0 confine, < 0 leave
};

class Backend {
public:
    virtual ~Backend() = default;
    // Takes the display; false with `why` set when it cannot. A back end whose
    // open failed is closed before the next one is tried.
    virtual bool open(const DisplayRequest& request, std::string& why) = 0;
    // Gives the display back; safe after a failed or partial open.
    virtual void close() = 0;
    virtual int refresh_rate() const = 0;
    // Copies the changed rows to the display.
    virtual void present(const FrameView& frame) = 0;
    // True while the window has the focus and is not minimised.
    virtual bool active() const = 0;
    // table[c] = 1 while a key of scan code c is down or was pressed since the
    // last sample (latched), else 0.
    virtual void sample_keys(std::uint8_t (&table)[128]) = 0;
    // Handles the window system's pending messages.
    virtual void poll(BackendEvents& events) = 0;
    virtual void set_title(const std::string& title) = 0;
    virtual void set_pointer(const PointerRequest& request) = 0;
};

struct DesktopInfo {
    std::int32_t width = 0, height = 0, depth = 0, refresh = 0;
};

struct BackendEntry {
    const char* name;
    std::unique_ptr<Backend> (*make)();
    // Tried only when a flag bit of screen_open asks for it (0: always tried).
    std::uint32_t required_flag;
    // Never tried by the normal search; only by screen_request_backend.
    bool explicit_only;
    // The desktop's size, for screen_driver_name without a screen; may be null.
    bool (*desktop)(DesktopInfo& info);
};

// In order of preference: "SDL", "X11", "OpenGL", then "Headless".
std::span<const BackendEntry> backend_table();

}  // namespace gfx::detail
