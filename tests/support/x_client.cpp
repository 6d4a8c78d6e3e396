#include "tests/support/x_client.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <bit>

namespace test_support {
namespace {

int ignore_x_error(Display*, XErrorEvent*) { return 0; }

std::uint32_t field(unsigned long pixel, unsigned long mask) {
    return static_cast<std::uint32_t>((pixel & mask) >> std::countr_zero(mask));
}

}  // namespace

XClient::XClient(const std::string& display) : d_(XOpenDisplay(display.c_str())) { XSetErrorHandler(ignore_x_error); }

XClient::~XClient() {
    if (d_ != nullptr) XCloseDisplay(d_);
}

XWindow XClient::root() const { return DefaultRootWindow(d_); }
int XClient::screen_w() const { return DisplayWidth(d_, DefaultScreen(d_)); }
int XClient::screen_h() const { return DisplayHeight(d_, DefaultScreen(d_)); }

std::string XClient::text_property(XWindow w, const char* name) const {
    const Atom atom = XInternAtom(d_, name, False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(d_, w, atom, 0, 1024, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
            Success &&
        data != nullptr) {
        if (format == 8) out.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return out;
}

bool XClient::has_property(XWindow w, const char* name) const {
    const Atom atom = XInternAtom(d_, name, False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool has = XGetWindowProperty(d_, w, atom, 0, 1, False, AnyPropertyType, &type, &format, &count, &after,
                                        &data) == Success &&
                     type != None;
    if (data != nullptr) XFree(data);
    return has;
}

bool XClient::property_has_atom(XWindow w, const char* name, const char* atom_name) const {
    const Atom property = XInternAtom(d_, name, False);
    const Atom wanted = XInternAtom(d_, atom_name, False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool has = false;
    if (XGetWindowProperty(d_, w, property, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) has = has || atoms[i] == wanted;
        XFree(data);
    }
    return has;
}

XWindow XClient::find_window(const std::string& utf8_title) const { return find_below(root(), utf8_title); }

XWindow XClient::find_below(XWindow parent, const std::string& title) const {
    Window r = None, p = None;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(d_, parent, &r, &p, &children, &count) == 0) return None;
    XWindow found = None;
    for (unsigned i = 0; i < count && found == None; ++i) {
        XWindowAttributes a{};
        if (XGetWindowAttributes(d_, children[i], &a) == 0 || a.map_state != IsViewable) continue;
        if (text_property(children[i], "_NET_WM_NAME") == title || text_property(children[i], "WM_NAME") == title) {
            found = children[i];
        } else {
            found = find_below(children[i], title);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

Rect XClient::window_rect(XWindow w) const {
    XWindowAttributes a{};
    if (w == None || XGetWindowAttributes(d_, w, &a) == 0) return {};
    int x = 0, y = 0;
    Window child = None;
    XTranslateCoordinates(d_, w, root(), 0, 0, &x, &y, &child);
    return {x, y, a.width, a.height};
}

std::vector<std::uint32_t> XClient::screenshot() const {
    const int w = screen_w(), h = screen_h();
    std::vector<std::uint32_t> out(static_cast<std::size_t>(w) * h);
    XImage* image =
        XGetImage(d_, root(), 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (image == nullptr) return out;
    const Visual* v = DefaultVisual(d_, DefaultScreen(d_));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            out[static_cast<std::size_t>(y) * w + x] =
                (field(p, v->red_mask) << 16) | (field(p, v->green_mask) << 8) | field(p, v->blue_mask);
        }
    }
    XDestroyImage(image);
    return out;
}

std::uint32_t XClient::reduce(std::uint32_t argb) const {
    const Visual* v = DefaultVisual(d_, DefaultScreen(d_));
    const auto channel = [](std::uint32_t value, unsigned long mask) {
        return value >> (8 - std::min(8, std::popcount(mask)));
    };
    return (channel((argb >> 16) & 0xFF, v->red_mask) << 16) | (channel((argb >> 8) & 0xFF, v->green_mask) << 8) |
           channel(argb & 0xFF, v->blue_mask);
}

void XClient::key(unsigned keycode, bool press) const {
    XTestFakeKeyEvent(d_, keycode, press ? True : False, CurrentTime);
    XFlush(d_);
}

void XClient::tap(unsigned keycode) const {
    XTestFakeKeyEvent(d_, keycode, True, CurrentTime);
    XTestFakeKeyEvent(d_, keycode, False, CurrentTime);
    XFlush(d_);
}

void XClient::move_pointer(int x, int y) const {
    XTestFakeMotionEvent(d_, DefaultScreen(d_), x, y, CurrentTime);
    XSync(d_, False);
}

std::pair<int, int> XClient::pointer() const {
    Window r = None, c = None;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(d_, root(), &r, &c, &rx, &ry, &wx, &wy, &mask);
    return {rx, ry};
}

bool XClient::pointer_invisible() const {
    XFixesCursorImage* image = XFixesGetCursorImage(d_);
    if (image == nullptr) return false;
    bool invisible = true;
    const unsigned long count = static_cast<unsigned long>(image->width) * image->height;
    for (unsigned long i = 0; i < count; ++i) {
        if ((image->pixels[i] & 0xFF000000ul) != 0) invisible = false;
    }
    XFree(image);
    return invisible;
}

void XClient::send_delete_window(XWindow w) const {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d_, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d_, w, False, NoEventMask, &e);
    XSync(d_, False);
}

XWindow XClient::create_window() const {
    const Window w = XCreateSimpleWindow(d_, root(), 0, 0, 50, 50, 0, 0, 0);
    XMapWindow(d_, w);
    XSync(d_, False);
    return w;
}

bool XClient::viewable(XWindow w) const {
    XWindowAttributes a{};
    return XGetWindowAttributes(d_, w, &a) != 0 && a.map_state == IsViewable;
}

void XClient::focus(XWindow w) const {
    XSetInputFocus(d_, w, RevertToParent, CurrentTime);
    XSync(d_, False);
}

void XClient::destroy_window(XWindow w) const {
    XDestroyWindow(d_, w);
    XSync(d_, False);
}

}  // namespace test_support
