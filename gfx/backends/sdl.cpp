#include "gfx/backends/sdl.hpp"

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gfx/backends/placement.hpp"
#include "gfx/backends/scan_codes.hpp"
#include "gfx/backends/title.hpp"

namespace gfx::detail {
namespace {

// SDL's stand-ins for a display: they open "successfully" with nothing on
// any monitor, which would hide the real back ends behind them.
bool is_stand_in_driver(std::string_view driver) {
    return driver == "offscreen" || driver == "dummy" || driver == "evdev";
}

void set_sdl_hints() {
    // The program's own signal handling stays as it is.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A full-screen window that loses the focus stays on screen, as a
    // borderless window covering the desktop should.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // Left to itself SDL falls through to its stand-ins, and probes a Wayland
    // socket even where no session exists, which makes the client library
    // print to stderr. Name the drivers worth trying; an SDL_VIDEODRIVER set
    // in the environment still takes precedence over this hint.
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool wayland_possible = (wayland != nullptr && *wayland != 0) || (runtime_dir != nullptr && *runtime_dir != 0);
    std::string drivers;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const std::string_view name = SDL_GetVideoDriver(i);
        if (is_stand_in_driver(name) || (name == "wayland" && !wayland_possible)) continue;
        if (!drivers.empty()) drivers += ',';
        drivers += name;
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
}

// Starts SDL's video subsystem on a real display; on failure `why` says why
// and the subsystem is not running.
bool start_video(std::string& why) {
    set_sdl_hints();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        why = std::string("no video driver could start (") + SDL_GetError() + ")";
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || is_stand_in_driver(driver)) {
        why = std::string("no display: SDL found only its \"") + (driver ? driver : "") + "\" video driver";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    return true;
}

class SdlBackend final : public Backend {
public:
    explicit SdlBackend(bool opengl) : opengl_(opengl) {}

    bool open(const DisplayRequest& request, std::string& why) override {
        page_w_ = request.width;
        page_h_ = request.height;
        full_screen_ = (request.flags & 1) != 0;
        if (!start_video(why)) return false;
        video_ = true;

        SDL_DisplayMode desktop{};
        refresh_ = SDL_GetDesktopDisplayMode(0, &desktop) == 0 ? desktop.refresh_rate : 0;

        Uint32 window_flags = SDL_WINDOW_SHOWN;
        if (opengl_) window_flags |= SDL_WINDOW_OPENGL;
        SDL_Rect frame{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, page_w_, page_h_};
        if (full_screen_) {
            // The full-screen state is the window manager's to grant; a
            // borderless window of the desktop's size covers it without one.
            window_flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
            if (SDL_GetDisplayBounds(0, &frame) != 0) {
                why = std::string("cannot get the desktop's size (") + SDL_GetError() + ")";
                return false;
            }
        }
        window_ = SDL_CreateWindow(title_utf8(request.title).c_str(), frame.x, frame.y, frame.w, frame.h, window_flags);
        if (window_ == nullptr) {
            why = std::string("cannot create the window (") + SDL_GetError() + ")";
            return false;
        }

        int driver_index = -1;
        if (opengl_) {
            for (int i = 0; i < SDL_GetNumRenderDrivers(); ++i) {
                SDL_RendererInfo info;
                if (SDL_GetRenderDriverInfo(i, &info) == 0 && std::strcmp(info.name, "opengl") == 0) driver_index = i;
            }
            if (driver_index < 0) {
                why = "this SDL has no OpenGL renderer";
                return false;
            }
        }
        // No SDL_RENDERER_PRESENTVSYNC: a copy never waits for the retrace.
        renderer_ = SDL_CreateRenderer(window_, driver_index, 0);
        if (renderer_ == nullptr) {
            why = std::string("cannot create a renderer (") + SDL_GetError() + ")";
            return false;
        }
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, page_w_,
                                     page_h_);
        if (texture_ == nullptr) {
            why = std::string("cannot create the page texture (") + SDL_GetError() + ")";
            return false;
        }
        // The page's alpha byte is never shown, so the texture must not blend.
        SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_NONE);
        SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);
        const std::vector<Uint32> black(static_cast<std::size_t>(page_w_) * page_h_, 0xFF000000u);
        SDL_UpdateTexture(texture_, nullptr, black.data(), page_w_ * 4);

        SDL_DisableScreenSaver();
        // Without a window manager nothing else gives the new window the
        // keyboard; with one, this asks it to.
        SDL_RaiseWindow(window_);
        SDL_SetWindowInputFocus(window_);
        const Uint32 flags = SDL_GetWindowFlags(window_);
        focused_ = (flags & SDL_WINDOW_INPUT_FOCUS) != 0;
        minimized_ = (flags & SDL_WINDOW_MINIMIZED) != 0;
        std::memset(latched_, 0, sizeof latched_);
        draw();
        apply_pointer_state();
        return true;
    }

    void close() override {
        if (texture_ != nullptr) SDL_DestroyTexture(texture_);
        if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        texture_ = nullptr;
        renderer_ = nullptr;
        window_ = nullptr;
        if (video_) {
            SDL_EnableScreenSaver();
            // Quitting the subsystem (not only the window) lets the next open,
            // after a mode switch or on another thread, start SDL afresh.
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            video_ = false;
        }
        focused_ = false;
    }

    int refresh_rate() const override { return refresh_; }

    void present(const FrameView& frame) override {
        std::int32_t first = 0, last = 0;
        if (!frame.changed_span(first, last)) return;
        const SDL_Rect rows{0, first, frame.width, last - first + 1};
        SDL_UpdateTexture(texture_, &rows, frame.pixels + static_cast<std::ptrdiff_t>(first) * frame.pitch,
                          frame.pitch);
        draw();
    }

    bool active() const override { return window_ != nullptr && focused_ && !minimized_; }

    void sample_keys(std::uint8_t (&table)[128]) override {
        int count = 0;
        const Uint8* state = SDL_GetKeyboardState(&count);
        for (int c = 0; c < 128; ++c) table[c] = latched_[c];
        for (int sc = 0; sc < count; ++sc) {
            if (state[sc] == 0) continue;
            const std::uint8_t code = scan_code_from_usb(sc);
            if (code != 0) table[code] = 1;
        }
        std::memset(latched_, 0, sizeof latched_);
    }

    void poll(BackendEvents& events) override {
        bool redraw = false;
        SDL_Event e;
        while (SDL_PollEvent(&e) != 0) {
            if (e.type == SDL_KEYDOWN) {
                const SDL_Scancode sc = e.key.keysym.scancode;
                const std::uint8_t code = scan_code_from_usb(sc);
                if (code != 0) latched_[code] = 1;
                if (is_enter(sc) && e.key.repeat == 0 && enter_released_ && (e.key.keysym.mod & KMOD_ALT) != 0) {
                    events.toggle_requested = true;
                    enter_released_ = false;
                }
            } else if (e.type == SDL_KEYUP) {
                if (is_enter(e.key.keysym.scancode)) enter_released_ = true;
            } else if (e.type == SDL_WINDOWEVENT) {
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_FOCUS_GAINED: set_focus(true, events); break;
                    case SDL_WINDOWEVENT_FOCUS_LOST: set_focus(false, events); break;
                    case SDL_WINDOWEVENT_MINIMIZED: minimized_ = true; break;
                    case SDL_WINDOWEVENT_RESTORED: minimized_ = false; break;
                    case SDL_WINDOWEVENT_MAXIMIZED:
                        minimized_ = false;
                        if (!full_screen_) events.toggle_requested = true;
                        break;
                    case SDL_WINDOWEVENT_EXPOSED:
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                    case SDL_WINDOWEVENT_SHOWN:
                        redraw = true;
                        break;
                    default: break;  // the close request among them: the window stays
                }
            }
        }
        if (redraw) {
            draw();
            apply_pointer_state();
        }
    }

    void set_title(const std::string& title) override {
        if (window_ != nullptr) SDL_SetWindowTitle(window_, title_utf8(title).c_str());
    }

    void set_pointer(const PointerRequest& request) override {
        if (request.cursor >= 0) pointer_hidden_ = request.cursor == 0;
        if (request.clip >= 0) pointer_confined_ = request.clip > 0;
        if (window_ == nullptr) return;
        if (request.move) {
            SDL_WarpMouseInWindow(window_, Placement::map(request.x, page_w_, place_.x, place_.width),
                                  Placement::map(request.y, page_h_, place_.y, place_.height));
        }
        apply_pointer_state();
    }

private:
    static bool is_enter(SDL_Scancode sc) { return sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER; }

    void set_focus(bool focused, BackendEvents& events) {
        if (focused == focused_) return;
        focused_ = focused;
        events.focus_changed = true;
        std::memset(latched_, 0, sizeof latched_);
    }

    // Shows the whole texture: the renderer's back buffer holds nothing
    // from one present to the next.
    void draw() {
        int out_w = page_w_, out_h = page_h_;
        SDL_GetRendererOutputSize(renderer_, &out_w, &out_h);
        if (out_w > 0 && out_h > 0) place_ = place_page(page_w_, page_h_, out_w, out_h, Scaling::WholeFromTwice);
        const SDL_Rect target{place_.x, place_.y, place_.width, place_.height};
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, &target);
        SDL_RenderPresent(renderer_);
    }

    // Pointer state is the back end's, not the window's, so it survives the
    // new window of a mode switch. SDL holds the grab only while the window
    // has the focus.
    void apply_pointer_state() {
        SDL_ShowCursor(pointer_hidden_ ? SDL_DISABLE : SDL_ENABLE);
        if (pointer_confined_) {
            const SDL_Rect area{place_.x, place_.y, place_.width, place_.height};
            SDL_SetWindowMouseRect(window_, &area);
        } else {
            SDL_SetWindowMouseRect(window_, nullptr);
        }
        SDL_SetWindowMouseGrab(window_, pointer_confined_ ? SDL_TRUE : SDL_FALSE);
    }

    const bool opengl_;
    bool video_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    std::int32_t page_w_ = 0, page_h_ = 0;
    bool full_screen_ = false;
    int refresh_ = 0;
    Placement place_;
    bool focused_ = false;
    bool minimized_ = false;
    std::uint8_t latched_[128] = {};
    bool pointer_hidden_ = false;
    bool pointer_confined_ = false;
    // A window that SDL opens knows nothing of keys already held, except
    // modifiers: an Enter held through a switch of mode, repeating in the new
    // window, arrives there as a fresh press. So after Alt+Enter the next one
    // counts only once Enter has been seen released; this outlives the
    // window, as the back end does across a switch.
    bool enter_released_ = true;
};

}  // namespace

std::unique_ptr<Backend> make_sdl_backend() { return std::make_unique<SdlBackend>(false); }

std::unique_ptr<Backend> make_opengl_backend() { return std::make_unique<SdlBackend>(true); }

bool sdl_desktop_info(DesktopInfo& info) {
    bool ok = false;
    std::thread([&] {
        std::string why;
        if (start_video(why)) {
            SDL_DisplayMode mode{};
            if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
                info.width = mode.w;
                info.height = mode.h;
                info.depth = static_cast<std::int32_t>(SDL_BITSPERPIXEL(mode.format));
                info.refresh = mode.refresh_rate;
                ok = true;
            }
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        }
        SDL_TLSCleanup();
    }).join();
    return ok;
}

}  // namespace gfx::detail
