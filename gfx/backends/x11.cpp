#include "gfx/backends/x11.hpp"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gfx/backends/placement.hpp"
#include "gfx/backends/scan_codes.hpp"
#include "gfx/backends/title.hpp"

namespace gfx::detail {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Xlib's error handler is one per process. Ours records errors of the open
// back end's connection (a failed shared-memory attach, a focus request the
// server refused) and hands every other connection's errors on.
std::atomic<Display*> g_own_display{nullptr};
std::atomic<XErrorHandler> g_previous_handler{nullptr};
std::atomic<int> g_error_code{0};

int on_x_error(Display* display, XErrorEvent* event) {
    if (display == g_own_display.load()) {
        g_error_code = event->error_code;
        return 0;
    }
    const XErrorHandler previous = g_previous_handler.load();
    return previous != nullptr ? previous(display, event) : 0;
}

// How long open waits for the window to be mapped, and a put for the server.
constexpr auto map_wait = 2s;
constexpr auto put_wait = 200ms;
// The screen saver's timer is reset this often while the screen is open.
constexpr auto saver_reset_interval = 1s;

std::string display_name() {
    const char* name = XDisplayName(nullptr);
    return name != nullptr ? name : "";
}

class X11Backend final : public Backend {
public:
    bool open(const DisplayRequest& request, std::string& why) override {
        page_w_ = request.width;
        page_h_ = request.height;
        full_screen_ = (request.flags & 1) != 0;
        if (display_name().empty()) {
            why = "no display (DISPLAY is not set)";
            return false;
        }
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) {
            why = "cannot open display \"" + display_name() + "\"";
            return false;
        }
        g_own_display = display_;
        g_previous_handler = XSetErrorHandler(on_x_error);

        const int screen = DefaultScreen(display_);
        visual_ = DefaultVisual(display_, screen);
        depth_ = DefaultDepth(display_, screen);
        if (visual_->c_class != TrueColor || depth_ < 15) {
            why = "the screen's default visual is not true colour of 15 bits or more";
            return false;
        }
        const int screen_w = DisplayWidth(display_, screen);
        const int screen_h = DisplayHeight(display_, screen);
        int x = 0, y = 0;
        if (full_screen_) {
            place_ = place_page(page_w_, page_h_, screen_w, screen_h, Scaling::Whole);
            if (place_.factor == 0) {
                why = "the screen (" + std::to_string(screen_w) + "x" + std::to_string(screen_h) +
                      ") is smaller than the page";
                return false;
            }
            win_w_ = screen_w;
            win_h_ = screen_h;
        } else {
            place_ = Placement{0, 0, page_w_, page_h_, 1};
            win_w_ = page_w_;
            win_h_ = page_h_;
            x = (screen_w - page_w_) / 2;
            y = (screen_h - page_h_) / 2;
        }

        intern_atoms();
        if (!create_window(x, y, request.title)) {
            why = "cannot create the window";
            return false;
        }
        if (!create_image()) {
            why = "cannot allocate the window's image";
            return false;
        }
        XkbSetDetectableAutoRepeat(display_, True, nullptr);
        XMapRaised(display_, window_);
        wait_for_map();
        if (mapped_) {
            // Without a window manager nothing else gives the new window the
            // keyboard; with one, a refused request is only recorded.
            XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
            if (full_screen_) request_full_screen_state();
        }
        std::memset(keys_down_, 0, sizeof keys_down_);
        std::memset(latched_, 0, sizeof latched_);
        XResetScreenSaver(display_);
        last_saver_reset_ = Clock::now();
        apply_pointer_state();
        XSync(display_, False);
        return true;
    }

    void close() override {
        if (display_ == nullptr) return;
        if (grabbed_) XUngrabPointer(display_, CurrentTime);
        grabbed_ = false;
        if (image_ != nullptr) {
            if (shm_attached_) {
                XShmDetach(display_, &shm_);
                XSync(display_, False);
                shm_attached_ = false;
            }
            if (shm_.shmaddr != nullptr) {
                shmdt(shm_.shmaddr);
                shm_.shmaddr = nullptr;
                image_->data = nullptr;  // not ours to free through Xlib
            }
            XDestroyImage(image_);
            image_ = nullptr;
        }
        if (blank_cursor_ != None) XFreeCursor(display_, blank_cursor_);
        if (gc_ != nullptr) XFreeGC(display_, gc_);
        if (window_ != None) XDestroyWindow(display_, window_);
        blank_cursor_ = None;
        gc_ = nullptr;
        window_ = area_ = None;
        XCloseDisplay(display_);
        display_ = nullptr;
        // Put the previous handler back unless someone replaced ours meanwhile.
        const XErrorHandler current = XSetErrorHandler(g_previous_handler.load());
        if (current != on_x_error) XSetErrorHandler(current);
        g_own_display = nullptr;
        mapped_ = focused_ = put_pending_ = false;
    }

    int refresh_rate() const override { return 0; }

    void present(const FrameView& frame) override {
        std::int32_t first = 0, last = 0;
        if (!frame.changed_span(first, last)) return;
        wait_for_put();
        for (std::int32_t y = first; y <= last; ++y) {
            if (frame.row_changed[y] != 0) convert_row(frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.pitch, y);
        }
        put_rows(first * place_.factor, (last - first + 1) * place_.factor);
    }

    bool active() const override { return focused_ && mapped_; }

    void sample_keys(std::uint8_t (&table)[128]) override {
        for (int c = 0; c < 128; ++c) table[c] = latched_[c];
        for (int keycode = 8; keycode < 256; ++keycode) {
            if (!keys_down_[keycode]) continue;
            const std::uint8_t code = scan_code_from_linux(keycode - 8);
            if (code != 0) table[code] = 1;
        }
        std::memset(latched_, 0, sizeof latched_);
    }

    void poll(BackendEvents& events) override {
        const auto now = Clock::now();
        if (now - last_saver_reset_ >= saver_reset_interval) {
            XResetScreenSaver(display_);
            last_saver_reset_ = now;
        }
        bool repaint = false;
        while (XPending(display_) > 0) {
            XEvent e;
            XNextEvent(display_, &e);
            handle_event(e, events, repaint);
        }
        if (confined_ && !grabbed_) grab_pointer();
        if (repaint) {
            wait_for_put();
            put_rows(0, place_.height);
        }
        XFlush(display_);
    }

    void set_title(const std::string& title) override {
        store_title(title);
        XFlush(display_);
    }

    void set_pointer(const PointerRequest& request) override {
        if (request.cursor >= 0) hidden_ = request.cursor == 0;
        if (request.clip >= 0) confined_ = request.clip > 0;
        apply_pointer_state();
        if (request.move) {
            XWarpPointer(display_, None, window_, 0, 0, 0, 0,
                         Placement::map(request.x, page_w_, place_.x, place_.width),
                         Placement::map(request.y, page_h_, place_.y, place_.height));
        }
        XFlush(display_);
    }

private:
    void intern_atoms() {
        wm_delete_window_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        net_wm_name_ = XInternAtom(display_, "_NET_WM_NAME", False);
        utf8_string_ = XInternAtom(display_, "UTF8_STRING", False);
        net_wm_state_ = XInternAtom(display_, "_NET_WM_STATE", False);
        state_full_screen_ = XInternAtom(display_, "_NET_WM_STATE_FULLSCREEN", False);
        state_max_vert_ = XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_VERT", False);
        state_max_horz_ = XInternAtom(display_, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
        state_hidden_ = XInternAtom(display_, "_NET_WM_STATE_HIDDEN", False);
        motif_wm_hints_ = XInternAtom(display_, "_MOTIF_WM_HINTS", False);
    }

    bool create_window(int x, int y, const std::string& title) {
        const int screen = DefaultScreen(display_);
        XSetWindowAttributes attributes{};
        attributes.background_pixel = BlackPixel(display_, screen);
        attributes.border_pixel = 0;
        attributes.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | FocusChangeMask | KeymapStateMask |
                                StructureNotifyMask | PropertyChangeMask;
        window_ = XCreateWindow(display_, RootWindow(display_, screen), x, y, static_cast<unsigned>(win_w_),
                                static_cast<unsigned>(win_h_), 0, CopyFromParent, InputOutput, CopyFromParent,
                                CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
        if (window_ == None) return false;
        // The page's area, for confining the pointer to what shows the page.
        area_ = XCreateWindow(display_, window_, place_.x, place_.y, static_cast<unsigned>(place_.width),
                              static_cast<unsigned>(place_.height), 0, 0, InputOnly, CopyFromParent, 0, nullptr);
        XMapWindow(display_, area_);

        XSizeHints* size = XAllocSizeHints();
        size->flags = USPosition | PPosition;
        size->x = x;
        size->y = y;
        if (!full_screen_) {
            size->flags |= PMinSize | PMaxSize;
            size->min_width = size->max_width = page_w_;
            size->min_height = size->max_height = page_h_;
        }
        XWMHints* wm = XAllocWMHints();
        wm->flags = InputHint | StateHint;
        wm->input = True;
        wm->initial_state = NormalState;
        XClassHint* cls = XAllocClassHint();
        char res_name[] = "intro";
        char res_class[] = "Intro";
        cls->res_name = res_name;
        cls->res_class = res_class;
        XSetWMProperties(display_, window_, nullptr, nullptr, nullptr, 0, size, wm, cls);
        XFree(size);
        XFree(wm);
        XFree(cls);
        XSetWMProtocols(display_, window_, &wm_delete_window_, 1);
        // Window managers that sort windows by type leave an untyped one's
        // state requests unanswered.
        Atom type = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_NORMAL", False);
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&type), 1);
        store_title(title);

        if (full_screen_) {
            // Read by the window manager when the window is mapped; without one
            // the window already covers the screen.
            XChangeProperty(display_, window_, net_wm_state_, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&state_full_screen_), 1);
            const long motif[5] = {2, 0, 0, 0, 0};  // decorations given, and none
            XChangeProperty(display_, window_, motif_wm_hints_, motif_wm_hints_, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(motif), 5);
        }

        gc_ = XCreateGC(display_, window_, 0, nullptr);
        char zero = 0;
        const Pixmap empty = XCreateBitmapFromData(display_, window_, &zero, 1, 1);
        XColor black{};
        blank_cursor_ = XCreatePixmapCursor(display_, empty, empty, &black, &black, 0, 0);
        XFreePixmap(display_, empty);
        return true;
    }

    // The image holds the page as shown: scaled, in the screen's format.
    bool create_image() {
        const auto w = static_cast<unsigned>(place_.width);
        const auto h = static_cast<unsigned>(place_.height);
        g_error_code = 0;
        if (XShmQueryExtension(display_)) {
            image_ = XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr, &shm_, w, h);
            if (image_ != nullptr) {
                shm_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * h, IPC_CREAT | 0600);
                if (shm_.shmid >= 0) {
                    void* address = shmat(shm_.shmid, nullptr, 0);
                    if (address != reinterpret_cast<void*>(-1)) {
                        shm_.shmaddr = image_->data = static_cast<char*>(address);
                        shm_.readOnly = False;
                        // Attaching fails on a display of another machine, and
                        // the server says so only in an asynchronous error.
                        XShmAttach(display_, &shm_);
                        XSync(display_, False);
                        shm_attached_ = g_error_code == 0;
                    }
                    // Marked for removal now, it goes when both sides detach.
                    shmctl(shm_.shmid, IPC_RMID, nullptr);
                }
                if (!shm_attached_) {
                    if (shm_.shmaddr != nullptr) shmdt(shm_.shmaddr);
                    shm_.shmaddr = nullptr;
                    image_->data = nullptr;
                    XDestroyImage(image_);
                    image_ = nullptr;
                    g_error_code = 0;
                }
            }
        }
        if (image_ == nullptr) {
            image_ = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr, w, h, 32, 0);
            if (image_ == nullptr) return false;
            image_->data = static_cast<char*>(std::calloc(static_cast<std::size_t>(image_->bytes_per_line), h));
            if (image_->data == nullptr) return false;
        }
        shm_completion_ = shm_attached_ ? XShmGetEventBase(display_) + ShmCompletion : -1;
        // 0xAARRGGBB pages copy straight into the usual 24-bit layout; other
        // layouts go through the visual's masks pixel by pixel.
        direct_ = image_->bits_per_pixel == 32 && depth_ == 24 && visual_->red_mask == 0xFF0000 &&
                  visual_->green_mask == 0x00FF00 && visual_->blue_mask == 0x0000FF &&
                  image_->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
        const unsigned long black = convert_pixel(0xFF000000u);
        for (unsigned y = 0; y < h; ++y) {
            for (unsigned x = 0; x < w; ++x) XPutPixel(image_, static_cast<int>(x), static_cast<int>(y), black);
        }
        return true;
    }

    unsigned long convert_pixel(std::uint32_t argb) const {
        const auto channel = [](std::uint32_t value8, unsigned long mask) -> unsigned long {
            // Keep the top bits of the 8-bit value, as many as the mask has.
            const int bits = std::popcount(mask);
            const int shift = std::countr_zero(mask);
            return ((static_cast<unsigned long>(value8) >> (8 - std::min(bits, 8))) << shift) & mask;
        };
        return channel((argb >> 16) & 0xFF, visual_->red_mask) | channel((argb >> 8) & 0xFF, visual_->green_mask) |
               channel(argb & 0xFF, visual_->blue_mask);
    }

    void convert_row(const std::uint8_t* source, std::int32_t y) {
        const std::int32_t k = place_.factor;
        const std::int32_t first_row = y * k;
        if (direct_) {
            auto* out = reinterpret_cast<std::uint32_t*>(image_->data + static_cast<std::ptrdiff_t>(first_row) *
                                                                           image_->bytes_per_line);
            if (k == 1) {
                std::memcpy(out, source, static_cast<std::size_t>(page_w_) * 4);
            } else {
                for (std::int32_t x = 0; x < page_w_; ++x) {
                    std::uint32_t pixel;
                    std::memcpy(&pixel, source + 4 * x, 4);
                    for (std::int32_t i = 0; i < k; ++i) *out++ = pixel;
                }
            }
        } else {
            for (std::int32_t x = 0; x < page_w_; ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, source + 4 * x, 4);
                const unsigned long value = convert_pixel(pixel);
                for (std::int32_t i = 0; i < k; ++i) XPutPixel(image_, x * k + i, first_row, value);
            }
        }
        const char* row = image_->data + static_cast<std::ptrdiff_t>(first_row) * image_->bytes_per_line;
        for (std::int32_t i = 1; i < k; ++i) {
            std::memcpy(image_->data + static_cast<std::ptrdiff_t>(first_row + i) * image_->bytes_per_line, row,
                        static_cast<std::size_t>(image_->bytes_per_line));
        }
    }

    // Sends image rows first .. first + count - 1 to their place in the window.
    void put_rows(std::int32_t first, std::int32_t count) {
        if (shm_attached_) {
            XShmPutImage(display_, window_, gc_, image_, 0, first, place_.x, place_.y + first,
                         static_cast<unsigned>(place_.width), static_cast<unsigned>(count), True);
            put_pending_ = true;
        } else {
            XPutImage(display_, window_, gc_, image_, 0, first, place_.x, place_.y + first,
                      static_cast<unsigned>(place_.width), static_cast<unsigned>(count));
        }
        XFlush(display_);
    }

    // The server reads the shared image after the request; writing it again
    // before the completion event could show a half-new frame.
    void wait_for_put() {
        const auto deadline = Clock::now() + put_wait;
        while (put_pending_) {
            XEvent e;
            if (XCheckTypedEvent(display_, shm_completion_, &e)) {
                put_pending_ = false;
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms) {
                XSync(display_, False);
                put_pending_ = false;
                break;
            }
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 5)));
        }
    }

    void wait_for_map() {
        const auto deadline = Clock::now() + map_wait;
        XEvent e;
        while (!mapped_ && Clock::now() < deadline) {
            if (XCheckTypedWindowEvent(display_, window_, MapNotify, &e)) {
                mapped_ = true;
                break;
            }
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&fd, 1, 5);
        }
    }

    void request_full_screen_state() {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = window_;
        e.xclient.message_type = net_wm_state_;
        e.xclient.format = 32;
        e.xclient.data.l[0] = 1;  // add
        e.xclient.data.l[1] = static_cast<long>(state_full_screen_);
        e.xclient.data.l[3] = 1;  // from an application
        XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &e);
    }

    void store_title(const std::string& title) {
        // WM_NAME's STRING type is Latin-1, the title's own encoding.
        XChangeProperty(display_, window_, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
        const std::string utf8 = title_utf8(title);
        XChangeProperty(display_, window_, net_wm_name_, utf8_string_, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
    }

    void handle_event(XEvent& e, BackendEvents& events, bool& repaint) {
        switch (e.type) {
            case KeyPress: {
                const unsigned keycode = e.xkey.keycode & 0xFF;
                const bool repeat = keys_down_[keycode];
                keys_down_[keycode] = true;
                const std::uint8_t code = scan_code_from_linux(static_cast<int>(keycode) - 8);
                if (code != 0) latched_[code] = 1;
                if (code == 0x1C && !repeat && (e.xkey.state & Mod1Mask) != 0) events.toggle_requested = true;
                break;
            }
            case KeyRelease: {
                const unsigned keycode = e.xkey.keycode & 0xFF;
                // Where the server cannot report repeats as presses alone, a
                // repeat is a release and a press with the same time stamp.
                if (XPending(display_) > 0) {
                    XEvent next;
                    XPeekEvent(display_, &next);
                    if (next.type == KeyPress && next.xkey.keycode == e.xkey.keycode && next.xkey.time == e.xkey.time) {
                        break;
                    }
                }
                keys_down_[keycode] = false;
                break;
            }
            case FocusIn:
            case FocusOut:
                // Grabs (a window manager's key chords) and moves between our
                // own windows do not change who gets the keys.
                if (e.xfocus.mode == NotifyGrab || e.xfocus.mode == NotifyUngrab) break;
                if (e.xfocus.detail == NotifyInferior) break;
                set_focus(e.type == FocusIn, events);
                break;
            case KeymapNotify:
                // Sent right after the focus arrives: the keys already held.
                if (!focused_) break;
                for (int keycode = 8; keycode < 256; ++keycode) {
                    const auto bits = static_cast<unsigned char>(e.xkeymap.key_vector[keycode / 8]);
                    keys_down_[keycode] = ((bits >> (keycode % 8)) & 1) != 0;
                }
                break;
            case Expose:
                if (e.xexpose.count == 0) repaint = true;
                break;
            case ConfigureNotify:
                if (e.xconfigure.window == window_ &&
                    (e.xconfigure.width != win_w_ || e.xconfigure.height != win_h_)) {
                    win_w_ = e.xconfigure.width;
                    win_h_ = e.xconfigure.height;
                    place_.x = std::max(0, (win_w_ - place_.width) / 2);
                    place_.y = std::max(0, (win_h_ - place_.height) / 2);
                    XMoveWindow(display_, area_, place_.x, place_.y);
                    XClearWindow(display_, window_);
                    repaint = true;
                }
                break;
            case MapNotify:
                if (e.xmap.window == window_) mapped_ = true;
                break;
            case UnmapNotify:
                if (e.xunmap.window == window_) mapped_ = false;
                break;
            case PropertyNotify:
                if (e.xproperty.atom == net_wm_state_) read_wm_state(events);
                break;
            case ClientMessage:
                // WM_DELETE_WINDOW, the close button: the window stays.
                break;
            default:
                if (e.type == shm_completion_) put_pending_ = false;
                break;
        }
    }

    void set_focus(bool focused, BackendEvents& events) {
        if (focused == focused_) return;
        focused_ = focused;
        events.focus_changed = true;
        std::memset(keys_down_, 0, sizeof keys_down_);
        std::memset(latched_, 0, sizeof latched_);
        if (!focused_ && grabbed_) {
            XUngrabPointer(display_, CurrentTime);
            grabbed_ = false;
        }
    }

    // A window that gets maximised asks for full screen; one that the window
    // manager hides is inactive.
    void read_wm_state(BackendEvents& events) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool maximised = false, hidden = false;
        if (XGetWindowProperty(display_, window_, net_wm_state_, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                               &data) == Success &&
            data != nullptr) {
            const auto* atoms = reinterpret_cast<const Atom*>(data);
            for (unsigned long i = 0; i < count; ++i) {
                if (atoms[i] == state_max_vert_ || atoms[i] == state_max_horz_) maximised = true;
                if (atoms[i] == state_hidden_) hidden = true;
            }
            XFree(data);
        }
        if (!full_screen_ && maximised && !maximised_) events.toggle_requested = true;
        maximised_ = maximised;
        if (hidden) mapped_ = false;
    }

    // Pointer state is the back end's, so it survives the new window of a
    // mode switch.
    void apply_pointer_state() {
        XDefineCursor(display_, window_, hidden_ ? blank_cursor_ : None);
        if (confined_) {
            grab_pointer();
        } else if (grabbed_) {
            XUngrabPointer(display_, CurrentTime);
            grabbed_ = false;
        }
    }

    // The grab is held only while the window has the keyboard, and retried
    // each cycle until the server grants it.
    void grab_pointer() {
        if (!focused_ || !mapped_) return;
        grabbed_ = XGrabPointer(display_, window_, False, 0, GrabModeAsync, GrabModeAsync, area_, None, CurrentTime) ==
                   GrabSuccess;
    }

    Display* display_ = nullptr;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    Window window_ = None;
    Window area_ = None;
    GC gc_ = nullptr;
    Cursor blank_cursor_ = None;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool shm_attached_ = false;
    int shm_completion_ = -1;
    bool put_pending_ = false;
    bool direct_ = false;

    Atom wm_delete_window_ = None, net_wm_name_ = None, utf8_string_ = None;
    Atom net_wm_state_ = None, state_full_screen_ = None, state_max_vert_ = None, state_max_horz_ = None;
    Atom state_hidden_ = None, motif_wm_hints_ = None;

    std::int32_t page_w_ = 0, page_h_ = 0;
    bool full_screen_ = false;
    Placement place_;
    int win_w_ = 0, win_h_ = 0;
    bool mapped_ = false;
    bool focused_ = false;
    bool maximised_ = false;
    bool keys_down_[256] = {};  // by X keycode
    std::uint8_t latched_[128] = {};
    bool hidden_ = false;
    bool confined_ = false;
    bool grabbed_ = false;
    Clock::time_point last_saver_reset_{};
};

}  // namespace

std::unique_ptr<Backend> make_x11_backend() { return std::make_unique<X11Backend>(); }

bool x11_desktop_info(DesktopInfo& info) {
    if (display_name().empty()) return false;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    const int screen = DefaultScreen(display);
    info.width = DisplayWidth(display, screen);
    info.height = DisplayHeight(display, screen);
    info.depth = DefaultDepth(display, screen);
    info.refresh = 0;
    XCloseDisplay(display);
    return true;
}

}  // namespace gfx::detail
