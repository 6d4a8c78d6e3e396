// The real display back ends, each forced by name and run against a private
// X server: what the window shows, keys, mode switches, window requests, the
// title and the pointer; and how screen_open fails without a display.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "gfx/backends/placement.hpp"
#include "gfx/backends/scan_codes.hpp"
#include "gfx/display.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"
#include "tests/support/x_client.hpp"
#include "tests/support/xvfb.hpp"

namespace {

using namespace std::chrono_literals;
using gfx::detail::place_page;
using gfx::detail::Placement;
using gfx::detail::Scaling;
using test_support::Rect;
using test_support::XClient;
using test_support::XWindow;

constexpr int page_w = 640, page_h = 480;

// Keys as an evdev X server numbers them (Linux input code + 8), with the
// first-set code the key table must show.
struct KeyCase {
    const char* name;
    unsigned x_keycode;
    int scan_code;
};
constexpr KeyCase key_cases[] = {
    {"Escape", 9, 0x01},       {"A", 38, 0x1E},           {"Q", 24, 0x10},
    {"Z", 52, 0x2C},           {"1", 10, 0x02},           {"0", 19, 0x0B},
    {"Enter", 36, 0x1C},       {"keypad Enter", 104, 0x1C}, {"Space", 65, 0x39},
    {"left Shift", 50, 0x2A},  {"right Shift", 62, 0x36}, {"left Ctrl", 37, 0x1D},
    {"right Ctrl", 105, 0x1D}, {"right Alt", 108, 0x38},  {"keypad slash", 106, 0x35},
    {"keypad 8", 80, 0x48},    {"Up", 111, 0x48},         {"Down", 116, 0x50},
    {"Left", 113, 0x4B},       {"Right", 114, 0x4D},      {"Home", 110, 0x47},
    {"End", 115, 0x4F},        {"Page Up", 112, 0x49},    {"Page Down", 117, 0x51},
    {"Insert", 118, 0x52},     {"Delete", 119, 0x53},     {"F1", 67, 0x3B},
    {"F11", 95, 0x57},         {"F12", 96, 0x58},         {"backslash", 51, 0x2B},
    {"ISO extra key", 94, 0x56}, {"grave", 49, 0x29},     {"keypad minus", 82, 0x4A},
};

// Sanitizer builds check this program's code, not Mesa's: there SDL draws
// with its software renderer rather than Mesa's software OpenGL, which is
// many times slower under the sanitizers. The "OpenGL" back end is then not
// run.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

class SoftwareRendererWhenSanitized : public ::testing::Environment {
public:
    void SetUp() override {
        if (sanitized) {
            ::setenv("SDL_RENDER_DRIVER", "software", 1);
            // Else SDL backs even a software renderer's window with OpenGL.
            ::setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
        }
    }
};
const auto* const software_renderer = ::testing::AddGlobalTestEnvironment(new SoftwareRendererWhenSanitized);

// ---------------------------------------------------------------------------
// The tables that need no display.

TEST(ScanCodeTables, LinuxCodesUpTo88AreTheFirstSetCodes) {
    for (int code = 1; code <= 88; ++code) EXPECT_EQ(gfx::detail::scan_code_from_linux(code), code) << code;
    EXPECT_EQ(gfx::detail::scan_code_from_linux(0), 0);
}

TEST(ScanCodeTables, ExtendedKeysCountUnderTheirOneByteTwins) {
    for (const KeyCase& k : key_cases) {
        EXPECT_EQ(gfx::detail::scan_code_from_linux(static_cast<int>(k.x_keycode) - 8), k.scan_code) << k.name;
    }
}

// SDL numbers keys by USB usage; every USB key with a Linux twin must land on
// the same first-set code through both tables.
TEST(ScanCodeTables, UsbAndLinuxTablesAgree) {
    struct Pair {
        int usb, linux_code;
    };
    const Pair pairs[] = {
        {4, 30},    {5, 48},    {22, 31},   {29, 44},   {30, 2},    {39, 11},   {40, 28},   {41, 1},
        {42, 14},   {43, 15},   {44, 57},   {45, 12},   {49, 43},   {50, 43},   {51, 39},   {53, 41},
        {56, 53},   {57, 58},   {58, 59},   {67, 68},   {68, 87},   {69, 88},   {70, 99},   {71, 70},
        {73, 110},  {74, 102},  {75, 104},  {76, 111},  {77, 107},  {78, 109},  {79, 106},  {80, 105},
        {81, 108},  {82, 103},  {83, 69},   {84, 98},   {85, 55},   {86, 74},   {87, 78},   {88, 96},
        {89, 79},   {95, 71},   {93, 76},   {97, 73},   {98, 82},   {99, 83},   {100, 86},  {101, 127}, {103, 117},
        {104, 183}, {114, 193}, {115, 194}, {133, 121}, {135, 89},  {137, 124}, {224, 29},  {225, 42},
        {226, 56},  {227, 125}, {228, 97},  {229, 54},  {230, 100}, {231, 126},
    };
    for (const Pair& p : pairs) {
        const auto code = gfx::detail::scan_code_from_usb(p.usb);
        EXPECT_NE(code, 0) << "usb " << p.usb;
        EXPECT_EQ(code, gfx::detail::scan_code_from_linux(p.linux_code)) << "usb " << p.usb << " linux " << p.linux_code;
    }
    for (int usage = 0; usage < 256; ++usage) EXPECT_LT(gfx::detail::scan_code_from_usb(usage), 128) << usage;
    EXPECT_EQ(gfx::detail::scan_code_from_usb(72), 0) << "Pause has no one-byte code";
}

TEST(PagePlacement, CentredWithBarsAndTheRightFactor) {
    struct Case {
        const char* name;
        int out_w, out_h;
        Scaling scaling;
        Placement expected;
    };
    const Case cases[] = {
        {"same size", 640, 480, Scaling::WholeFromTwice, {0, 0, 640, 480, 1}},
        {"twice each way", 1280, 1024, Scaling::WholeFromTwice, {0, 32, 1280, 960, 2}},
        {"three times, wide", 2560, 1440, Scaling::WholeFromTwice, {320, 0, 1920, 1440, 3}},
        {"under twice: fits by a fraction", 800, 600, Scaling::WholeFromTwice, {0, 0, 800, 600, 0}},
        {"under twice, wide", 1366, 768, Scaling::WholeFromTwice, {171, 0, 1024, 768, 0}},
        {"under twice, tall", 1024, 1024, Scaling::WholeFromTwice, {0, 128, 1024, 768, 0}},
        {"smaller than the page", 320, 200, Scaling::WholeFromTwice, {27, 0, 266, 200, 0}},
        {"twice by width only", 1280, 900, Scaling::WholeFromTwice, {40, 0, 1200, 900, 0}},
        {"whole: centred unscaled", 800, 600, Scaling::Whole, {80, 60, 640, 480, 1}},
        {"whole: twice", 1280, 1024, Scaling::Whole, {0, 32, 1280, 960, 2}},
        {"whole: three times", 2000, 1500, Scaling::Whole, {40, 30, 1920, 1440, 3}},
        {"whole: too small", 639, 1000, Scaling::Whole, {0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const Placement p = place_page(page_w, page_h, c.out_w, c.out_h, c.scaling);
        EXPECT_EQ(p.x, c.expected.x) << c.name;
        EXPECT_EQ(p.y, c.expected.y) << c.name;
        EXPECT_EQ(p.width, c.expected.width) << c.name;
        EXPECT_EQ(p.height, c.expected.height) << c.name;
        EXPECT_EQ(p.factor, c.expected.factor) << c.name;
    }
}

// Whether output pixel `at` (counted from the page's edge on the output) of
// a page of `page_size` pixels shown `size` pixels wide shows part of page
// pixel p: its span [at, at + 1) maps onto page positions overlapping [p, p + 1).
bool covers(int at, int p, int size, int page_size) {
    return at >= 0 && at < size && at * page_size < (p + 1) * size && (at + 1) * page_size > p * size;
}

TEST(PagePlacement, PointerLandsOnTheOutputPixelsOfItsPagePixel) {
    for (const int size : {640, 800, 1280, 1920, 320}) {
        for (int p = 0; p < page_w; ++p) {
            EXPECT_TRUE(covers(Placement::map(p, page_w, 7, size) - 7, p, size, page_w)) << size << " " << p;
        }
    }
}

// ---------------------------------------------------------------------------
// Helpers for the tests against an X server.

bool backend_built(const std::string& name) {
    for (const auto& entry : gfx::detail::backend_table()) {
        if (name == entry.name) return true;
    }
    return false;
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = 4000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(200us);
    }
    return done();
}

// Writes `color(x, y)` into a page; rows of the visible page are marked only
// when `mark` is set.
void write_page(int page, const std::function<std::uint32_t(int, int)>& color, int first_row = 0,
                int last_row = page_h - 1, bool mark = false) {
    gfx::DisplayLock lock;
    const auto surface = gfx::detail::screen_page_surface(page);
    ASSERT_TRUE(surface.has_value());
    for (int y = first_row; y <= last_row; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(surface->row(y));
        for (int x = 0; x < page_w; ++x) row[x] = color(x, y);
    }
    if (mark) gfx::detail::mark_rows_changed(*surface, first_row, last_row);
}

std::vector<std::uint32_t> read_page(int page) {
    gfx::DisplayLock lock;
    const auto surface = gfx::detail::screen_page_surface(page);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(page_w) * page_h);
    for (int y = 0; y < page_h; ++y) {
        std::memcpy(&pixels[static_cast<std::size_t>(y) * page_w], surface->row(y), page_w * 4u);
    }
    return pixels;
}

// Writes a screenshot as a PPM for a person to look at.
void save_screenshot(const std::vector<std::uint32_t>& pixels, int w, int h, const std::string& name) {
    const std::string path = ::testing::TempDir() + name + ".ppm";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fprintf(f, "P6 %d %d 255\n", w, h);
        for (const std::uint32_t p : pixels) {
            const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                          static_cast<unsigned char>(p)};
            std::fwrite(rgb, 1, 3, f);
        }
        std::fclose(f);
        std::fprintf(stderr, "screenshot written to %s\n", path.c_str());
    }
}

// Compares the screen with a page shown at `where` (scaled by a whole factor
// or, with factor 0, by a fraction: then only output pixels whose page pixel
// lies at least 1.5 pixels inside a block of `block` equal pixels count), and
// black everywhere else in `outer`. Returns the number of wrong pixels.
long count_wrong_pixels(const XClient& x, const std::vector<std::uint32_t>& shot, const std::vector<std::uint32_t>& page,
                        const Placement& where, Rect outer, int block, std::string* first) {
    const int sw = x.screen_w();
    long wrong = 0;
    for (int oy = outer.y; oy < outer.y + outer.height; ++oy) {
        for (int ox = outer.x; ox < outer.x + outer.width; ++ox) {
            const std::uint32_t seen = shot[static_cast<std::size_t>(oy) * sw + ox];
            const int lx = ox - outer.x - where.x, ly = oy - outer.y - where.y;
            std::uint32_t want = 0;
            if (lx >= 0 && ly >= 0 && lx < where.width && ly < where.height) {
                int px = 0, py = 0;
                if (where.factor > 0) {
                    px = lx / where.factor;
                    py = ly / where.factor;
                } else {
                    const double fx = (lx + 0.5) * page_w / where.width, fy = (ly + 0.5) * page_h / where.height;
                    const double mx = std::fmod(fx, block), my = std::fmod(fy, block);
                    if (mx < 1.5 || mx > block - 1.5 || my < 1.5 || my > block - 1.5) continue;
                    px = static_cast<int>(fx);
                    py = static_cast<int>(fy);
                }
                want = x.reduce(page[static_cast<std::size_t>(py) * page_w + px]);
            }
            if (seen != want) {
                if (wrong == 0 && first != nullptr) {
                    char text[128];
                    std::snprintf(text, sizeof text, "first at screen (%d, %d): 0x%06X instead of 0x%06X", ox, oy,
                                  seen, want);
                    *first = text;
                }
                ++wrong;
            }
        }
    }
    return wrong;
}

// ---------------------------------------------------------------------------
// The tests against a private X server, for each real back end.

struct ServerSetup {
    test_support::XvfbOptions options;
    bool window_manager = false;
};

class DisplayBackend : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override {
        gfx::screen_close();
        // A back end slower to stop than screen_close waits for still uses
        // the server: let it finish before the server goes.
        if (client_ && !title_.empty()) {
            EXPECT_TRUE(wait_until([&] { return client_->find_window(title_) == 0; }, 20000ms))
                << "the window outlived screen_close";
        }
        title_.clear();
        gfx::screen_request_backend("");
        client_.reset();
        server_.reset();
    }

    // Starts the server and opens the screen on the back end under test; the
    // window is found by its (unique) title.
    void open(const ServerSetup& setup, std::uint32_t flags, const std::string& title) {
        TearDown();
        if (!test_support::Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed: no X server to test against";
        if (!backend_built(GetParam())) GTEST_SKIP() << "the " << GetParam() << " back end is not built";
        if (sanitized && std::string(GetParam()) == "OpenGL") {
            GTEST_SKIP() << "Mesa's software OpenGL is not run under the sanitizers";
        }
        server_ = std::make_unique<test_support::Xvfb>(setup.options);
        ASSERT_TRUE(server_->ok()) << server_->error();
        ::setenv("DISPLAY", server_->display().c_str(), 1);
        client_ = std::make_unique<XClient>(server_->display());
        ASSERT_TRUE(client_->ok());
        if (setup.window_manager) {
            ASSERT_TRUE(server_->start_window_manager()) << "matchbox-window-manager is not installed";
            ASSERT_TRUE(wait_until([&] { return client_->has_property(client_->root(), "_NET_SUPPORTING_WM_CHECK"); }))
                << "the window manager did not start";
        }
        gfx::set_window_title(title);
        gfx::screen_request_backend(GetParam());
        ASSERT_EQ(gfx::screen_open(page_w, page_h, 32, 2, flags, 0), gfx::Status::Ok) << gfx::screen_open_failure();
        EXPECT_EQ(std::string(gfx::screen_driver_name().name.view()), GetParam());
        title_ = title;
        ASSERT_TRUE(wait_until([&] { return (window_ = client_->find_window(title)) != 0; }))
            << "no window titled \"" << title << "\"";
    }

    // Waits until the window has the keyboard and its back end sees keys: a
    // tap of left Shift must reach the key table.
    void wait_for_keyboard() {
        ASSERT_TRUE(wait_until([&] {
            client_->key(50, true);
            const bool seen = wait_until([] { return gfx::key_down(0x2A) == -1; }, 100ms);
            client_->key(50, false);
            return seen;
        })) << "the window never got the keyboard";
        ASSERT_TRUE(wait_until([] { return gfx::key_down(0x2A) == 0; }));
    }

    XWindow refind_window() {
        window_ = 0;
        wait_until([&] { return (window_ = client_->find_window(title_)) != 0; });
        return window_;
    }

    // Waits until the screen shows `page` placed as `where` inside the
    // window's rectangle `outer`.
    void expect_shown(const std::vector<std::uint32_t>& page, const Placement& where, const Rect& outer, int block,
                      const std::string& what) {
        std::string first;
        long wrong = 0;
        std::vector<std::uint32_t> shot;
        const bool ok = wait_until(
            [&] {
                shot = client_->screenshot();
                wrong = count_wrong_pixels(*client_, shot, page, where, outer, block, &first);
                return wrong == 0;
            },
            5000ms);
        if (!ok) {
            save_screenshot(shot, client_->screen_w(), client_->screen_h(),
                            std::string("display_test_") + GetParam() + "_" + what);
        }
        EXPECT_TRUE(ok) << what << ": " << wrong << " wrong pixels; " << first;
    }

    Rect centred_window() const {
        return {(client_->screen_w() - page_w) / 2, (client_->screen_h() - page_h) / 2, page_w, page_h};
    }

    std::unique_ptr<test_support::Xvfb> server_;
    std::unique_ptr<XClient> client_;
    XWindow window_ = 0;
    std::string title_;
};

std::uint32_t noise(std::uint32_t seed, int x, int y) {
    std::uint32_t h = seed ^ (static_cast<std::uint32_t>(x) * 0x9E3779B1u) ^ (static_cast<std::uint32_t>(y) * 0x85EBCA77u);
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// Window mode: the visible page appears pixel for pixel in a centred window,
// whatever the pixels' alpha; page switches and marked rows reach it, rows
// written without a mark do not.
TEST_P(DisplayBackend, WindowShowsTheVisiblePage) {
    struct Case {
        const char* name;
        test_support::XvfbOptions options;
    };
    std::vector<Case> cases = {{"24-bit screen", {1024, 768, 24, true}}};
    if (std::string(GetParam()) == "X11") {
        cases.push_back({"16-bit screen", {1024, 768, 16, true}});
        cases.push_back({"no shared memory", {800, 600, 24, false}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open({c.options, false}, 0, std::string("window test ") + c.name);
        if (IsSkipped() || HasFatalFailure()) return;
        const Rect outer = client_->window_rect(window_);
        EXPECT_EQ(outer, centred_window());
        const Placement one{0, 0, page_w, page_h, 1};

        expect_shown(std::vector<std::uint32_t>(page_w * page_h, 0xFF000000u), one, outer, 1, "black at open");

        write_page(1, [](int x, int y) { return noise(1, x, y); });
        gfx::screen_set_pages(0, 1);
        expect_shown(read_page(1), one, outer, 1, "page 1");

        // Rows 100..119 of the visible page, marked; rows 300..309 not.
        write_page(1, [](int x, int y) { return noise(2, x, y); }, 300, 309, false);
        write_page(1, [](int x, int y) { return noise(3, x, y); }, 100, 119, true);
        std::vector<std::uint32_t> expected(read_page(1));
        for (int y = 300; y <= 309; ++y) {
            for (int x = 0; x < page_w; ++x) expected[static_cast<std::size_t>(y) * page_w + x] = noise(1, x, y);
        }
        expect_shown(expected, one, outer, 1, "marked rows");

        write_page(0, [](int x, int y) { return (x ^ y) & 1 ? 0x00FFFFFFu : 0x80000000u; });
        gfx::screen_set_pages(1, 0);
        expect_shown(read_page(0), one, outer, 1, "page 0");
        TearDown();
    }
}

// Full screen: the window covers the screen, the page is centred and scaled
// as the back end promises, the rest is black, and the pointer goes to the
// middle of the page pixel asked for.
TEST_P(DisplayBackend, FullScreenCoversTheScreen) {
    const bool sdl = std::string(GetParam()) != "X11";
    const Scaling scaling = sdl ? Scaling::WholeFromTwice : Scaling::Whole;
    struct Case {
        const char* name;
        int w, h;
        bool window_manager;
    };
    const Case cases[] = {
        {"1280x1024 with a window manager", 1280, 1024, true},
        {"800x600 with a window manager", 800, 600, true},
        {"2000x1500 without a window manager", 2000, 1500, false},
        {"1366x768 without a window manager", 1366, 768, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open({{c.w, c.h, 24, true}, c.window_manager}, gfx::screen_full_screen, std::string("full screen ") + c.name);
        if (IsSkipped() || HasFatalFailure()) return;
        const Rect whole{0, 0, c.w, c.h};
        ASSERT_TRUE(wait_until([&] { return client_->window_rect(window_) == whole; }))
            << "window at " << client_->window_rect(window_);
        const Placement where = place_page(page_w, page_h, c.w, c.h, scaling);
        const int block = where.factor > 0 ? 1 : 16;
        write_page(1, [&](int x, int y) { return noise(4, x / block, y / block); });
        gfx::screen_set_pages(0, 1);
        expect_shown(read_page(1), where, whole, block, std::to_string(c.w) + "x" + std::to_string(c.h));

        EXPECT_EQ(gfx::set_mouse_cursor(10, 479, -1, -1), gfx::Status::Ok);
        ASSERT_TRUE(wait_until([&] {
            const auto [px, py] = client_->pointer();
            return covers(px - where.x, 10, where.width, page_w) && covers(py - where.y, 479, where.height, page_h);
        })) << "pointer at " << client_->pointer().first << ", " << client_->pointer().second;
        TearDown();
    }
}

// Every key of the table reaches key_down under its first-set code alone,
// and is up again after its release.
TEST_P(DisplayBackend, KeysReachTheKeyTable) {
    open({}, 0, "keys test");
    if (IsSkipped() || HasFatalFailure()) return;
    wait_for_keyboard();
    for (const KeyCase& k : key_cases) {
        SCOPED_TRACE(k.name);
        client_->key(k.x_keycode, true);
        EXPECT_TRUE(wait_until([&] { return gfx::key_down(k.scan_code) == -1; })) << "press not seen";
        for (int code = 0; code < 128; ++code) {
            if (code != k.scan_code) {
                EXPECT_EQ(gfx::key_down(code), 0) << "code " << code << " also held";
            }
        }
        client_->key(k.x_keycode, false);
        EXPECT_TRUE(wait_until([&] { return gfx::key_down(k.scan_code) == 0; })) << "release not seen";
    }
}

// A press and release far shorter than an update cycle is still seen.
TEST_P(DisplayBackend, ShortTapIsLatched) {
    open({}, 0, "tap test");
    if (IsSkipped() || HasFatalFailure()) return;
    wait_for_keyboard();
    for (int tap = 0; tap < 5; ++tap) {
        SCOPED_TRACE(tap);
        client_->tap(9);
        EXPECT_TRUE(wait_until([] { return gfx::key_down(1) == -1; })) << "the tap of Escape was lost";
        EXPECT_TRUE(wait_until([] { return gfx::key_down(1) == 0; }));
    }
}

// Losing the focus lets held keys read as up and sets every row-changed
// flag; when the focus returns, a key still held reads as held again.
TEST_P(DisplayBackend, FocusChangeClearsKeysAndRepaints) {
    open({}, 0, "focus test");
    if (IsSkipped() || HasFatalFailure()) return;
    wait_for_keyboard();
    const Rect outer = client_->window_rect(window_);
    const Placement one{0, 0, page_w, page_h, 1};
    write_page(1, [](int x, int y) { return noise(5, x, y); });
    gfx::screen_set_pages(0, 1);
    expect_shown(read_page(1), one, outer, 1, "before focus change");

    client_->key(38, true);  // A
    ASSERT_TRUE(wait_until([] { return gfx::key_down(0x1E) == -1; }));
    // Unmarked rows: shown only because the focus change marks every row.
    write_page(1, [](int x, int y) { return noise(6, x, y); }, 0, page_h - 1, false);

    const XWindow other = client_->create_window();
    ASSERT_TRUE(wait_until([&] { return client_->viewable(other); }));
    client_->focus(other);
    EXPECT_TRUE(wait_until([] { return gfx::key_down(0x1E) == 0; })) << "held key still reads as held";
    expect_shown(read_page(1), one, outer, 1, "after focus change");

    client_->focus(window_);
    EXPECT_TRUE(wait_until([] { return gfx::key_down(0x1E) == -1; })) << "key held across the focus is not seen";
    client_->key(38, false);
    EXPECT_TRUE(wait_until([] { return gfx::key_down(0x1E) == 0; }));
    client_->destroy_window(other);
}

// Alt+Enter switches to full screen and back, keeping the page on show;
// holding the keys (repeats, and keys already down in the new window) does
// not switch again;
// with bit value 4 nothing switches. The window manager used here gives
// every window the whole screen, so with it the mode shows only in the
// window's _NET_WM_STATE.
TEST_P(DisplayBackend, AltEnterSwitchesMode) {
    struct Case {
        const char* name;
        bool window_manager;
        std::uint32_t flags;
        bool switches;
    };
    const Case cases[] = {
        {"without a window manager", false, 0, true},
        {"with a window manager", true, 0, true},
        {"mode fixed", false, gfx::screen_fixed_mode, false},
    };
    constexpr unsigned alt = 64, enter = 36;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open({{1280, 1024, 24, true}, c.window_manager}, c.flags, std::string("alt enter ") + c.name);
        if (IsSkipped() || HasFatalFailure()) return;
        const Rect window = centred_window();
        const Rect whole{0, 0, 1280, 1024};
        const auto full_screen_state = [&](XWindow w) {
            return client_->property_has_atom(w, "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN");
        };
        const auto windowed = [&] {
            const XWindow w = refind_window();
            return w != 0 && (c.window_manager ? !full_screen_state(w) : client_->window_rect(w) == window);
        };
        const auto full_screen = [&] {
            const XWindow w = refind_window();
            return client_->window_rect(w) == whole && (!c.window_manager || full_screen_state(w));
        };
        ASSERT_TRUE(wait_until(windowed)) << "window at " << client_->window_rect(window_);
        write_page(1, [](int x, int y) { return noise(7, x, y); });
        gfx::screen_set_pages(0, 1);
        if (!c.window_manager) expect_shown(read_page(1), {0, 0, page_w, page_h, 1}, window, 1, "windowed");

        wait_for_keyboard();
        // Held past the server's repeat delay: the window (and the one that
        // replaces it) gets repeated presses of Enter.
        client_->key(alt, true);
        client_->key(enter, true);
        std::this_thread::sleep_for(1200ms);
        client_->key(enter, false);
        client_->key(alt, false);
        if (!c.switches) {
            std::this_thread::sleep_for(300ms);
            EXPECT_TRUE(windowed()) << "window at " << client_->window_rect(window_);
            continue;
        }
        ASSERT_TRUE(wait_until(full_screen)) << "window at " << client_->window_rect(window_);
        std::this_thread::sleep_for(300ms);
        ASSERT_TRUE(full_screen()) << "held keys switched the mode again";
        expect_shown(read_page(1), place_page(page_w, page_h, 1280, 1024, Scaling::Whole), whole, 1, "full screen");
        EXPECT_EQ(std::string(gfx::screen_driver_name().name.view()), GetParam());

        wait_for_keyboard();
        client_->key(alt, true);
        client_->key(enter, true);
        client_->key(enter, false);
        client_->key(alt, false);
        ASSERT_TRUE(wait_until(windowed)) << "window at " << client_->window_rect(window_);
        if (!c.window_manager) expect_shown(read_page(1), {0, 0, page_w, page_h, 1}, window, 1, "windowed again");
        wait_for_keyboard();  // the switch is over and the update cycles run again
        TearDown();
    }
}

// The close button's request leaves the window open and working.
TEST_P(DisplayBackend, CloseRequestIsIgnored) {
    open({}, 0, "close test");
    if (IsSkipped() || HasFatalFailure()) return;
    client_->send_delete_window(window_);
    std::this_thread::sleep_for(300ms);  // many update cycles
    ASSERT_EQ(client_->find_window("close test"), window_);
    write_page(1, [](int x, int y) { return noise(8, x, y); });
    gfx::screen_set_pages(0, 1);
    expect_shown(read_page(1), {0, 0, page_w, page_h, 1}, client_->window_rect(window_), 1, "after close request");
    EXPECT_EQ(std::string(gfx::screen_driver_name().name.view()), GetParam());
}

// The title given before opening shows at once; later titles replace it,
// Latin-1 characters arrive as UTF-8, and only the first 127 characters stay.
TEST_P(DisplayBackend, TitleShowsInTheTitleProperties) {
    open({}, 0, "first title");
    if (IsSkipped() || HasFatalFailure()) return;
    std::string long_title;
    for (int i = 0; i < 200; ++i) long_title += static_cast<char>('a' + i % 26);
    struct Case {
        const char* name;
        std::string title, utf8;
    };
    const Case cases[] = {
        {"plain", "a new title", "a new title"},
        {"Latin-1", "caf\xE9 \xFC" "ber", "caf\xC3\xA9 \xC3\xBC" "ber"},
        {"200 characters", long_title, long_title.substr(0, 127)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gfx::set_window_title(c.title);
        EXPECT_TRUE(wait_until([&] { return client_->text_property(window_, "_NET_WM_NAME") == c.utf8; }))
            << "_NET_WM_NAME is \"" << client_->text_property(window_, "_NET_WM_NAME") << "\"";
    }
}

// set_mouse_cursor clamps, moves the pointer onto the page pixel, hides and
// shows it over the window, and confines and frees it.
TEST_P(DisplayBackend, PointerRequests) {
    open({}, 0, "pointer test");
    if (IsSkipped() || HasFatalFailure()) return;
    const Rect r = client_->window_rect(window_);
    using Pointer = std::pair<int, int>;

    EXPECT_EQ(gfx::set_mouse_cursor(700, -5, -1, -1), gfx::Status::Ok);
    EXPECT_TRUE(wait_until([&] { return client_->pointer() == Pointer{r.x + 639, r.y}; }));
    EXPECT_FALSE(client_->pointer_invisible());

    EXPECT_EQ(gfx::set_mouse_cursor(0, 0, 0, -1), gfx::Status::Ok);
    EXPECT_TRUE(wait_until([&] { return client_->pointer() == Pointer{r.x, r.y} && client_->pointer_invisible(); }))
        << "pointer not hidden on the window's top-left pixel";

    EXPECT_EQ(gfx::set_mouse_cursor(320, 240, 1, 1), gfx::Status::Ok);
    EXPECT_TRUE(wait_until([&] { return client_->pointer() == Pointer{r.x + 320, r.y + 240} && !client_->pointer_invisible(); }))
        << "pointer at " << client_->pointer().first << ", " << client_->pointer().second
        << (client_->pointer_invisible() ? ", invisible" : ", visible");
    // Confined: a move to the screen's corner stops at the window's corner.
    EXPECT_TRUE(wait_until([&] {
        client_->move_pointer(0, 0);
        return client_->pointer() == Pointer{r.x, r.y};
    })) << "pointer at " << client_->pointer().first << ", " << client_->pointer().second;

    EXPECT_EQ(gfx::set_mouse_cursor(-1, 0, -1, 0), gfx::Status::Ok);
    EXPECT_TRUE(wait_until([&] {
        client_->move_pointer(0, 0);
        return client_->pointer() == Pointer{0, 0};
    })) << "pointer still confined";
}

INSTANTIATE_TEST_SUITE_P(RealBackends, DisplayBackend, ::testing::Values("SDL", "X11", "OpenGL"),
                         [](const auto& info) { return std::string(info.param); });

// ---------------------------------------------------------------------------
// Without a display.

// Sets an environment variable (or unsets it for nullptr) for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

TEST(NoDisplay, ScreenOpenFailsNamingEachBackEnd) {
    struct Case {
        const char* name;
        const char* display;
        std::uint32_t flags;
        std::vector<std::string> tried;
    };
    const Case cases[] = {
        {"DISPLAY unset", nullptr, gfx::screen_full_screen, {"SDL: ", "X11: no display"}},
        {"DISPLAY bogus", ":4711", gfx::screen_full_screen, {"SDL: ", "X11: cannot open display \":4711\""}},
        {"OpenGL asked for", nullptr, gfx::screen_full_screen | gfx::screen_opengl, {"SDL: ", "X11: ", "OpenGL: "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv display("DISPLAY", c.display);
        ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
        gfx::screen_request_backend("");
        EXPECT_EQ(gfx::screen_open(page_w, page_h, 32, 2, c.flags, 0), gfx::Status::IllegalCall);
        const std::string failure = gfx::screen_open_failure();
        for (const std::string& part : c.tried) {
            const std::string name = part.substr(0, part.find(':'));
            if (!backend_built(name)) continue;
            EXPECT_NE(failure.find(part), std::string::npos) << "\"" << part << "\" missing in: " << failure;
        }
        EXPECT_EQ(gfx::screen_set_pages(0, 1), -1);
        EXPECT_TRUE(gfx::screen_driver_name().name.view().empty());
    }
}

// The program itself, without a display: one line on stderr, status 1, at
// once.
TEST(NoDisplay, IntroReportsAndExits) {
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(err[1], 2);
        ::close(err[0]);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::execl(INTRO_BINARY, INTRO_BINARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(err[1]);
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    int status = 0;
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    std::string output;
    char buffer[512];
    ssize_t n = 0;
    while ((n = ::read(err[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<std::size_t>(n));
    ::close(err[0]);
    ASSERT_EQ(done, pid) << "still running after a second";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.find('\n'), output.size() - 1) << "not one line: " << output;
}

}  // namespace
