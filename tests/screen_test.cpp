#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "gfx/backends/headless.hpp"
#include "gfx/display.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"
#include "runtime/start.hpp"

using namespace gfx;

namespace {

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        char* argv[] = {const_cast<char*>("/opt/demo/screen_test.bin")};
        runtime::runtime_start(1, argv);
        screen_request_backend("Headless");
        ASSERT_EQ(screen_open(640, 480, 32, 2, 0, 0), Status::Ok) << screen_open_failure();
    }
    void TearDown() override {
        screen_close();
        screen_request_backend("");
    }

    // Writes straight into a page's memory, bypassing the row-changed flags.
    static void poke(int page, int x, int y, std::uint32_t colour) {
        auto surface = detail::screen_page_surface(page);
        ASSERT_TRUE(surface);
        DisplayLock lock;
        std::memcpy(surface->row(y) + 4 * x, &colour, 4);
    }
    static std::uint32_t shown(int x, int y) {
        const HeadlessMonitor monitor = headless_monitor();
        return monitor.pixels.at(static_cast<std::size_t>(y) * monitor.width + x);
    }
};

TEST_F(ScreenTest, OpensBlackWithPageZeroWorkAndVisible) {
    for (int page = 0; page < 2; ++page) {
        auto surface = detail::screen_page_surface(page);
        ASSERT_TRUE(surface);
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, surface->row(y) + 4 * x, 4);
                ASSERT_EQ(pixel, 0xFF000000u) << page << " " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(screen_set_pages(-1, -1) & 0xFFFF, 0) << "work 0, visible 0";
    ASSERT_TRUE(headless_wait_cycles(2));
    EXPECT_EQ(shown(0, 0), 0xFF000000u);
    EXPECT_EQ(shown(639, 479), 0xFF000000u);
}

TEST_F(ScreenTest, DriverNameAndGeometry) {
    const DriverInfo info = screen_driver_name();
    EXPECT_EQ(info.name, runtime::Text("Headless"));
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(info.depth, 32);
    EXPECT_EQ(info.bytes_per_pixel, 4);
    EXPECT_EQ(info.pitch, 2560);
    EXPECT_EQ(info.refresh_rate, 60);
}

TEST_F(ScreenTest, SetPagesArgumentRules) {
    struct Case {
        int work, visible;
        int previous;  // expected result: previous work | previous visible << 8
        int work_after, visible_after;
    };
    // Applied in sequence; each row starts where the one before left off.
    const Case cases[] = {
        {1, 1, 0x0000, 1, 1},   {-1, -1, 0x0101, 0, 0}, {-1, 1, 0x0000, 0, 1}, {5, 0, 0x0100, 0, 0},
        {1, 5, 0x0000, 1, 0},   {1, -1, 0x0001, 1, 0},  {0, 1, 0x0001, 0, 1},  {-7, 2, 0x0100, 0, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(screen_set_pages(c.work, c.visible), c.previous) << c.work << "," << c.visible;
        const int now = screen_set_pages(-1, -2);  // reads both (and makes both 0; restored below)
        EXPECT_EQ(now, c.work_after | (c.visible_after << 8)) << c.work << "," << c.visible;
        screen_set_pages(c.work_after, c.visible_after);
    }
}

TEST_F(ScreenTest, SwitchingTheVisiblePageShowsItWholeAndTheSamePageSetsNoFlags) {
    ASSERT_TRUE(headless_wait_cycles(2));
    poke(1, 10, 10, 0xFF123456u);
    poke(0, 20, 479, 0xFF00FF00u);  // page 0 is visible, but no flag is set for this write
    screen_set_pages(0, 0);          // the visible page stays: no flags
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(shown(20, 479), 0xFF000000u) << "a row without its flag is not copied";

    const auto presents = headless_present_count();
    screen_set_pages(0, 1);
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(shown(10, 10), 0xFF123456u);
    EXPECT_EQ(headless_present_count(), presents + 1) << "one present for the switch, none after";
    screen_set_pages(1, 0);
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(shown(20, 479), 0xFF00FF00u) << "switching back copies every row";
    EXPECT_EQ(shown(10, 10), 0xFF000000u);
}

TEST_F(ScreenTest, KeyRangeAndTapLatching) {
    EXPECT_EQ(key_down(1), 0);
    headless_press_key(1);
    headless_release_key(1);  // released before any sample
    EXPECT_EQ(key_down(1), -1) << "a tap reads as held";
    ASSERT_TRUE(headless_wait_cycles(1));
    // The first sample after the tap still reports it (latched); the one after, not.
    ASSERT_TRUE(headless_wait_cycles(2));
    EXPECT_EQ(key_down(1), 0);

    headless_press_key(57);
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(key_down(57), -1) << "held across samples";
    EXPECT_EQ(key_down(57), -1);
    headless_release_key(57);
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(key_down(57), 0);

    headless_press_key(127);
    for (int code : {-1, 128, 1000, INT32_MIN}) EXPECT_EQ(key_down(code), 0) << code;
    EXPECT_EQ(key_down(127), -1);
}

TEST_F(ScreenTest, FocusChangeClearsKeysAndMarksEveryRow) {
    headless_press_key(1);
    ASSERT_TRUE(headless_wait_cycles(2));
    ASSERT_EQ(key_down(1), -1);
    poke(0, 5, 5, 0xFFABCDEFu);  // no flag
    headless_set_focus(false);
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(key_down(1), 0) << "cleared and not sampled while inactive";
    EXPECT_EQ(shown(5, 5), 0xFFABCDEFu) << "every row was marked changed";
    headless_press_key(2);  // ignored without the focus
    headless_set_focus(true);
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(key_down(1), 0) << "a key held across the switch reads as up";
    EXPECT_EQ(key_down(2), 0);
}

TEST_F(ScreenTest, MouseCursorClampsAndLeavesWhatIsNegative) {
    EXPECT_EQ(set_mouse_cursor(0, 0, 0, 1), Status::Ok);
    ASSERT_TRUE(headless_wait_cycles(2));
    HeadlessWindow window = headless_window();
    EXPECT_EQ(window.pointer_x, 0);
    EXPECT_EQ(window.pointer_y, 0);
    EXPECT_TRUE(window.pointer_hidden);
    EXPECT_TRUE(window.pointer_confined);

    EXPECT_EQ(set_mouse_cursor(700, -5, -1, -1), Status::Ok);
    ASSERT_TRUE(headless_wait_cycles(2));
    window = headless_window();
    EXPECT_EQ(window.pointer_x, 639);
    EXPECT_EQ(window.pointer_y, 0);
    EXPECT_TRUE(window.pointer_hidden) << "visibility unchanged";
    EXPECT_TRUE(window.pointer_confined) << "confinement unchanged";

    EXPECT_EQ(set_mouse_cursor(-1, 900, 1, 0), Status::Ok);
    ASSERT_TRUE(headless_wait_cycles(2));
    window = headless_window();
    EXPECT_EQ(window.pointer_x, 639) << "a negative x leaves the pointer";
    EXPECT_FALSE(window.pointer_hidden);
    EXPECT_FALSE(window.pointer_confined);
    EXPECT_EQ(set_mouse_cursor(10, 900, -1, -1), Status::Ok);
    ASSERT_TRUE(headless_wait_cycles(2));
    EXPECT_EQ(headless_window().pointer_y, 479);
}

TEST_F(ScreenTest, TitleDefaultsToTheProgramNameAndKeeps127Characters) {
    ASSERT_TRUE(headless_wait_cycles(1));
    EXPECT_EQ(headless_window().title, "screen_test");
    EXPECT_EQ(window_title(), "screen_test");
    const std::string long_title(200, 'x');
    set_window_title(long_title);
    EXPECT_EQ(window_title(), std::string(127, 'x'));
    ASSERT_TRUE(headless_wait_cycles(2));
    EXPECT_EQ(headless_window().title, std::string(127, 'x'));
}

TEST_F(ScreenTest, ModeSwitchReopensUnlessForbidden) {
    ASSERT_TRUE(headless_wait_cycles(1));
    const HeadlessWindow before = headless_window();
    poke(0, 7, 7, 0xFF0000FFu);
    headless_request_toggle();
    ASSERT_TRUE(headless_wait_cycles(3));
    HeadlessWindow after = headless_window();
    EXPECT_NE(after.full_screen, before.full_screen);
    EXPECT_EQ(after.opens, before.opens + 1);
    EXPECT_EQ(shown(7, 7), 0xFF0000FFu) << "every row is shown again after a switch";

    screen_close();
    ASSERT_EQ(screen_open(640, 480, 32, 2, screen_fixed_mode, 0), Status::Ok);
    ASSERT_TRUE(headless_wait_cycles(1));
    const HeadlessWindow fixed = headless_window();
    headless_request_toggle();
    ASSERT_TRUE(headless_wait_cycles(3));
    EXPECT_EQ(headless_window().full_screen, fixed.full_screen);
    EXPECT_EQ(headless_window().opens, fixed.opens);
}

TEST_F(ScreenTest, AfterCloseEveryOperationActsAsWithoutAScreen) {
    screen_close();
    EXPECT_EQ(screen_set_pages(0, 1), -1);
    EXPECT_EQ(screen_driver_name().name, runtime::Text());
    EXPECT_EQ(screen_driver_name().pitch, 0);
    EXPECT_EQ(set_mouse_cursor(0, 0, 0, -1), Status::IllegalCall);
    EXPECT_EQ(key_down(1), 0);
    set_window_title("kept without a screen");
    EXPECT_EQ(window_title(), "kept without a screen");
    EXPECT_FALSE(headless_wait_cycles(1));
    screen_close();  // twice is harmless
}

TEST(Screen, OpenRefusalsLeaveTheOpenScreen) {
    screen_request_backend("Headless");
    ASSERT_EQ(screen_open(320, 200, 32, 0, 0, 0), Status::Ok);
    struct Case { int w, h, depth; };
    const Case bad[] = {{0, 480, 32}, {640, 0, 32}, {-1, 480, 32}, {640, 480, 3}, {640, 480, 0}, {640, 480, 64}};
    for (const auto& c : bad) EXPECT_EQ(screen_open(c.w, c.h, c.depth, 2, 0, 0), Status::IllegalCall) << c.depth;
    EXPECT_EQ(screen_driver_name().width, 320) << "the open screen is left as it is";
    EXPECT_EQ(screen_set_pages(0, 1), 0) << "page count 0 became 1: index 1 is ignored";
    EXPECT_EQ(screen_set_pages(-1, -1), 0);

    ASSERT_EQ(screen_open(640, 480, 24, 2, 0, 0), Status::Ok);
    EXPECT_EQ(screen_driver_name().depth, 32) << "24 becomes 32";
    screen_close();

    screen_request_backend("NoSuchDisplay");
    EXPECT_EQ(screen_open(640, 480, 32, 2, 1, 0), Status::IllegalCall);
    EXPECT_NE(screen_open_failure().find("NoSuchDisplay"), std::string::npos);
    EXPECT_EQ(screen_set_pages(0, 1), -1);
    screen_request_backend("");
}

TEST(Screen, SixteenBitPagesReachTheMonitorAsColour) {
    screen_request_backend("Headless");
    ASSERT_EQ(screen_open(64, 8, 16, 2, 0, 0), Status::Ok);
    auto surface = detail::screen_page_surface(1);
    ASSERT_TRUE(surface);
    {
        DisplayLock lock;
        const std::uint16_t red = 0xF800;
        std::memcpy(surface->row(3) + 2 * 4, &red, 2);
    }
    screen_set_pages(0, 1);
    ASSERT_TRUE(headless_wait_cycles(3));
    const HeadlessMonitor monitor = headless_monitor();
    EXPECT_EQ(monitor.pixels.at(3 * 64 + 4), 0xFFF80000u);
    EXPECT_EQ(monitor.pixels.at(0), 0xFF000000u);
    screen_close();
    screen_request_backend("");
}

TEST(Screen, TableOrderPutsTheWindowSystemsFirstAndHeadlessLast) {
    const auto table = detail::backend_table();
    ASSERT_FALSE(table.empty());
    EXPECT_STREQ(table.back().name, "Headless");
    EXPECT_TRUE(table.back().explicit_only);
    for (std::size_t i = 0; i + 1 < table.size(); ++i) EXPECT_FALSE(table[i].explicit_only) << table[i].name;
}

// Page switches, key reads and drawing on the program's thread race the update
// thread and a thread that presses keys; ThreadSanitizer checks the locking.
TEST(Screen, StressAgainstTheUpdateThread) {
    screen_request_backend("Headless");
    ASSERT_EQ(screen_open(640, 480, 32, 2, 0, 0), Status::Ok);
    std::atomic<bool> stop{false};
    std::thread presser([&] {
        int code = 0;
        while (!stop.load()) {
            headless_release_key(code % 128);
            headless_set_focus(code % 97 != 0);
            headless_release_key((code + 64) % 128);
            ++code;
            std::this_thread::yield();
        }
    });
    int page = 0;
    std::int64_t held = 0;
    for (int frame = 0; frame < 3000 || headless_present_count() < 20; ++frame) {
        screen_set_pages(page, 1 - page);
        auto surface = detail::screen_page_surface(page);
        {
            DisplayLock lock;
            std::memset(surface->row(frame % 480), frame & 0xFF, 2560);
            detail::mark_rows_changed(*surface, frame % 480, frame % 480);
        }
        held += key_down(frame % 128);
        if (frame % 500 == 0) set_mouse_cursor(frame % 640, 0, 0, -1);
        if (frame % 700 == 0) set_window_title("frame " + std::to_string(frame));
        page = 1 - page;
    }
    stop = true;
    presser.join();
    EXPECT_LE(held, 0);
    EXPECT_GT(headless_present_count(), 0u);
    screen_close();
    screen_request_backend("");
}

}  // namespace
