// A test's own connection to an X server: looks at windows and the screen,
// and sends input as a user would (XTest). Xlib stays inside x_client.cpp, so
// its macros (Status, None, Bool) never meet the code under test.
//
// Windows come and go under a test's feet; a query about one that is gone
// must not raise an X error, since Xlib hands errors to one handler for the
// whole process, which may be a library's under test. So windows are looked
// at through an XCB connection, whose errors come back with the replies;
// Xlib serves only the screen, the pointer and XTest, which cannot fail.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

struct _XDisplay;
struct xcb_connection_t;

namespace test_support {

using XWindow = unsigned long;  // an X window id; 0 is none

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Rect& r) {
    return out << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}

class XClient {
public:
    explicit XClient(const std::string& display);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool ok() const;
    XWindow root() const;
    int screen_w() const;
    int screen_h() const;

    // An 8-bit property's bytes ("" when missing or of another format).
    std::string text_property(XWindow w, const char* name) const;
    bool has_property(XWindow w, const char* name) const;
    // Whether the atom list property `name` holds the atom `atom_name`.
    bool property_has_atom(XWindow w, const char* name, const char* atom_name) const;

    // The viewable window, at any depth, whose _NET_WM_NAME or WM_NAME is
    // `utf8_title`; 0 when there is none.
    XWindow find_window(const std::string& utf8_title) const;
    // Position on the root window and size; all 0 for a window that is gone.
    Rect window_rect(XWindow w) const;

    // The screen as 0x00RRGGBB, each channel as many bits as the screen keeps
    // (5 or 6 on a 16-bit screen), at the bottom of its byte.
    std::vector<std::uint32_t> screenshot() const;
    // A page colour 0xAARRGGBB as screenshot() would read it back.
    std::uint32_t reduce(std::uint32_t argb) const;

    void key(unsigned keycode, bool press) const;
    // Press and release sent together, far inside one update cycle.
    void tap(unsigned keycode) const;
    void move_pointer(int x, int y) const;
    std::pair<int, int> pointer() const;
    // True when the pointer's image is fully transparent.
    bool pointer_invisible() const;

    // The close button's request, as a window manager sends it.
    void send_delete_window(XWindow w) const;
    // A small window of the test's own, mapped; 0 on failure.
    XWindow create_window() const;
    bool viewable(XWindow w) const;
    void focus(XWindow w) const;
    void destroy_window(XWindow w) const;

private:
    XWindow find_below(XWindow parent, const std::string& title) const;
    std::uint32_t atom(const char* name) const;
    _XDisplay* d_;
    xcb_connection_t* c_;
};

}  // namespace test_support
