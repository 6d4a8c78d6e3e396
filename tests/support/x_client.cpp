#include "tests/support/x_client.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace test_support {
namespace {

struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

std::uint32_t field(unsigned long pixel, unsigned long mask) {
    return static_cast<std::uint32_t>((pixel & mask) >> std::countr_zero(mask));
}

}  // namespace

XClient::XClient(const std::string& display)
    : d_(XOpenDisplay(display.c_str())), c_(xcb_connect(display.c_str(), nullptr)) {}

XClient::~XClient() {
    if (c_ != nullptr) xcb_disconnect(c_);
    if (d_ != nullptr) XCloseDisplay(d_);
}

bool XClient::ok() const { return d_ != nullptr && c_ != nullptr && xcb_connection_has_error(c_) == 0; }

std::uint32_t XClient::atom(const char* name) const {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : 0;
}

XWindow XClient::root() const { return DefaultRootWindow(d_); }
int XClient::screen_w() const { return DisplayWidth(d_, DefaultScreen(d_)); }
int XClient::screen_h() const { return DisplayHeight(d_, DefaultScreen(d_)); }

std::string XClient::text_property(XWindow w, const char* name) const {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, static_cast<xcb_window_t>(w), atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
        nullptr));
    if (!reply || reply->format != 8) return "";
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

bool XClient::has_property(XWindow w, const char* name) const {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, static_cast<xcb_window_t>(w), atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1),
        nullptr));
    return reply && reply->type != XCB_NONE;
}

bool XClient::property_has_atom(XWindow w, const char* name, const char* atom_name) const {
    const std::uint32_t wanted = atom(atom_name);
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c_, xcb_get_property(c_, 0, static_cast<xcb_window_t>(w), atom(name), XCB_ATOM_ATOM, 0, 64), nullptr));
    if (!reply || reply->format != 32) return false;
    const auto* atoms = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == wanted) return true;
    }
    return false;
}

XWindow XClient::find_window(const std::string& utf8_title) const { return find_below(root(), utf8_title); }

XWindow XClient::find_below(XWindow parent, const std::string& title) const {
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c_, xcb_query_tree(c_, static_cast<xcb_window_t>(parent)), nullptr));
    if (!tree) return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        if (!viewable(children[i])) continue;
        if (text_property(children[i], "_NET_WM_NAME") == title || text_property(children[i], "WM_NAME") == title) {
            return children[i];
        }
        if (const XWindow found = find_below(children[i], title); found != 0) return found;
    }
    return 0;
}

Rect XClient::window_rect(XWindow w) const {
    if (w == 0) return {};
    const auto window = static_cast<xcb_window_t>(w);
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        c_, xcb_translate_coordinates(c_, window, static_cast<xcb_window_t>(root()), 0, 0), nullptr));
    if (!geometry || !at) return {};
    return {at->dst_x, at->dst_y, geometry->width, geometry->height};
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
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = static_cast<xcb_window_t>(w);
    e.type = atom("WM_PROTOCOLS");
    e.data.data32[0] = atom("WM_DELETE_WINDOW");
    e.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c_, 0, e.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));  // a round trip: sent
}

XWindow XClient::create_window() const {
    const xcb_window_t w = xcb_generate_id(c_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 50, 50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_map_window(c_, w);
    xcb_flush(c_);
    return w;
}

bool XClient::viewable(XWindow w) const {
    Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(
        c_, xcb_get_window_attributes(c_, static_cast<xcb_window_t>(w)), nullptr));
    return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
}

void XClient::focus(XWindow w) const {
    std::free(xcb_request_check(c_, xcb_set_input_focus_checked(c_, XCB_INPUT_FOCUS_PARENT,
                                                                 static_cast<xcb_window_t>(w), XCB_CURRENT_TIME)));
}

void XClient::destroy_window(XWindow w) const {
    std::free(xcb_request_check(c_, xcb_destroy_window_checked(c_, static_cast<xcb_window_t>(w))));
}

}  // namespace test_support
