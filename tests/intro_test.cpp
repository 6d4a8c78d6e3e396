// The intro's flow and scenes, played on the Headless display against a
// driven clock: the same settings always give the same frames.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "gfx/backends/headless.hpp"
#include "gfx/screen.hpp"
#include "gfx/surface.hpp"
#include "intro/boot_scene.hpp"
#include "intro/credits.hpp"
#include "intro/demo_scene.hpp"
#include "intro/driven.hpp"
#include "intro/flow.hpp"
#include "intro/images.hpp"
#include "runtime/clock.hpp"
#include "runtime/start.hpp"
#include "scene_support.hpp"

using namespace scene_test;
using intro::Stage;

namespace {

constexpr std::uint32_t light_blue = 0x7F7FD7;
constexpr std::uint32_t status_green = 0x00FF00;
// Canvas (x, y) is screen (x + 99, y + 64).
constexpr int cx(int x) { return x + 99; }
constexpr int cy(int y) { return y + 64; }
std::uint32_t rgb(std::uint32_t c) { return c & 0xFFFFFFu; }
bool grey(std::uint32_t c) { return ((c >> 16) & 0xFF) == ((c >> 8) & 0xFF) && ((c >> 8) & 0xFF) == (c & 0xFF); }

struct Played {
    int status = -1;
    std::vector<std::pair<double, Stage>> stages;  // each change, with its timeline second
    std::vector<double> demo_frames;               // timeline seconds at which a demo frame began
    double last_reading = 0.0;                     // timeline second of the last clock reading
    std::map<Stage, std::set<std::string>> titles;  // window titles seen per stage
};

// Plays the intro in `dir`; `look` sees every sample.
Played play(const std::filesystem::path& dir, intro::DrivenRun settings,
         const std::function<void(const Frame&, Stage)>& look = nullptr) {
    Played run;
    int visible = -1;
    settings.on_reading = [&](double time) {
        const Stage stage = intro::current_stage();
        if (run.stages.empty() || run.stages.back().second != stage) run.stages.emplace_back(time, stage);
        const int now_visible = gfx::detail::screen_visible_page();
        if (stage == Stage::Demo && now_visible != visible) run.demo_frames.push_back(time);
        visible = now_visible;
        run.titles[stage].insert(gfx::window_title());
        run.last_reading = time;
    };
    if (look) {
        settings.on_sample = [&](const intro::Sample& s) {
            Frame f;
            f.time = s.time;
            f.pixels.assign(s.pixels, s.pixels + static_cast<std::size_t>(s.width) * s.height);
            look(f, intro::current_stage());
        };
    }
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    char name[] = "/usr/games/intro";
    char* argv[] = {name, nullptr};
    run.status = intro::driven_run(settings, 1, argv);
    std::filesystem::current_path(previous);
    return run;
}

double stage_start(const Played& run, Stage stage) {
    for (const auto& [time, s] : run.stages) {
        if (s == stage) return time;
    }
    return -1.0;
}

intro::DrivenRun settings(double end) {
    intro::DrivenRun s;
    s.clock_origin = 1000.25;  // ticks fall at timeline 0.75, 1.75, ...
    s.step = 0.004;
    s.sample_rate = 20;
    s.end = end;
    return s;
}

// What the boot screen shows in one sample.
struct BootView {
    double time;
    std::string command, search, loading, ready2, run;
    std::string banner1, banner2, ready1;
    std::uint32_t ring, margin, noise;
};

TEST(BootScene, PlaysItsTimeline) {
    const auto dir = fresh_directory("boot");  // no pictures: the canvas is seen whole
    std::vector<BootView> views;
    std::set<std::uint32_t> noise_seen;
    const Played run = play(dir, settings(34.0), [&](const Frame& f, Stage stage) {
        if (stage == Stage::Noise && f.time > 0.1) noise_seen.insert(f.at(cx(200), cy(200)) ^ f.at(cx(300), cy(10)));
        if (stage != Stage::Boot) return;
        BootView v;
        v.time = f.time;
        v.banner1 = read_text(f, cx(61), cy(68), 40, light_blue);
        v.banner2 = read_text(f, cx(61), cy(84), 40, light_blue);
        v.ready1 = read_text(f, cx(61), cy(100), 6, light_blue);
        v.command = read_text(f, cx(61), cy(108), 14, light_blue);
        v.search = read_text(f, cx(61), cy(132), 15, light_blue);
        v.loading = read_text(f, cx(61), cy(140), 7, light_blue);
        v.ready2 = read_text(f, cx(61), cy(148), 6, light_blue);
        v.run = read_text(f, cx(61), cy(156), 5, light_blue);
        v.ring = rgb(f.at(cx(30), cy(30)));
        v.margin = f.at(cx(5), cy(5));
        v.noise = f.at(cx(430), cy(370));
        views.push_back(v);
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_GT(noise_seen.size(), 20u) << "the noise changes from frame to frame";
    EXPECT_NEAR(stage_start(run, Stage::Boot), 3.75, 0.02) << "four ticks of noise";
    EXPECT_NEAR(stage_start(run, Stage::DemoSetup), 32.75, 0.02) << "the scene ends at tick 24";
    ASSERT_FALSE(views.empty());

    const std::string load = "LOAD \"*\",8,1";
    std::set<bool> cursor_states;
    for (const BootView& v : views) {
        const double t = v.time;
        SCOPED_TRACE("t = " + std::to_string(t));
        if (t < 3.8) continue;  // the first boot frame becomes visible one frame later
        EXPECT_EQ(v.banner1, "    **** COMMODORE 64 BASIC V2 ****     ");
        EXPECT_EQ(v.banner2, " 64K RAM SYSTEM  38911 BASIC BYTES FREE ");
        EXPECT_EQ(v.ready1, "READY.");
        EXPECT_TRUE(grey(v.margin)) << "the margin keeps the last noise frame";
        EXPECT_EQ(v.margin, views.back().margin) << "frozen";
        EXPECT_EQ(v.noise, views.back().noise);
        if (t < 9.7) {
            EXPECT_TRUE(v.command[0] == ' ' || v.command[0] == '?') << v.command;
            cursor_states.insert(v.command[0] == '?');
        }
        // The cursor blinks after what is typed: a full cell ('?') or nothing.
        if (t > 9.8 && t < 10.7) EXPECT_TRUE(v.command.substr(0, 2) == "L?" || v.command.substr(0, 2) == "L ") << v.command;
        if (t > 20.8) EXPECT_EQ(v.command, load + "  ") << "complete, no cursor";
        if (t > 12.8 && t < 13.7) EXPECT_TRUE(v.command.substr(0, 5) == "LOAD?" || v.command.substr(0, 6) == "LOAD  ") << v.command;
        // Shown from the frame after the tick at `from`, absent before it.
        const auto shown_from = [t](bool shown, double from) { return t < from ? !shown : t > from + 0.04 ? shown : true; };
        EXPECT_TRUE(shown_from(v.search == "SEARCHING FOR *", 21.75)) << v.search;
        if (t < 21.7) EXPECT_EQ(v.search, std::string(15, ' '));
        EXPECT_TRUE(shown_from(v.loading == "LOADING", 23.75)) << v.loading;
        EXPECT_TRUE(shown_from(v.ready2 == "READY.", 25.75)) << v.ready2;
        if (t > 25.8 && t < 26.7) EXPECT_TRUE(v.run[0] == '?' || v.run[0] == ' ') << "cursor blinks at (61, 156)";
        if (t > 26.8 && t < 27.7) EXPECT_EQ(v.run.substr(0, 1), "R");
        if (t > 28.8) EXPECT_EQ(v.run, "RUN  ") << "typed, cursor gone";
        if (t < 29.7) EXPECT_EQ(v.ring, light_blue);
    }
    EXPECT_EQ(cursor_states.size(), 2u) << "the cursor blinks";

    std::set<std::uint32_t> flashes;
    int flash_samples = 0;
    for (const BootView& v : views) {
        if (v.time > 29.8 && v.time < 32.7) {
            ++flash_samples;
            flashes.insert(v.ring);
        }
    }
    EXPECT_GE(flash_samples, 50);
    EXPECT_GE(flashes.size(), static_cast<std::size_t>(flash_samples - 2)) << "a new colour every frame";

    EXPECT_EQ(run.titles.at(Stage::Boot), std::set<std::string>{"intro"});
    EXPECT_EQ(run.titles.at(Stage::Demo), std::set<std::string>{std::string(intro::credit_line)});
}

TEST(BootScene, TickRuleRoundsTheClockTiesToEven) {
    struct Case { double mark_before; double reading; std::int32_t mark_after; bool ticks; };
    const Case cases[] = {{1000, 1000.999, 1000, false}, {1000, 1001.0, 1001, true}, {1000, 1001.5, 1002, true},
                          {1000, 1002.5, 1002, true},    {1000, 1001.49, 1001, true}, {1000, 1003.5, 1004, true}};
    for (const auto& c : cases) {
        double now = c.reading;
        runtime::clock_drive([](void* p) { return *static_cast<double*>(p); }, &now);
        intro::BootScene scene;
        scene.second_mark = static_cast<std::int32_t>(c.mark_before);
        EXPECT_EQ(intro::boot_apply_tick_rule(scene), c.ticks) << c.reading;
        EXPECT_EQ(scene.second_mark, c.mark_after) << c.reading;
        EXPECT_EQ(scene.boot_tick, c.ticks ? 1 : 0);
        runtime::clock_drive(nullptr, nullptr);
    }
}

TEST(Flow, EscapeHeldFromTheStart) {
    const auto dir = fresh_directory("held");
    intro::DrivenRun s = settings(60.0);
    s.escapes = {{0.0, true}};
    bool boot_screen_seen = false;
    const Played run = play(dir, s, [&](const Frame& f, Stage) {
        boot_screen_seen = boot_screen_seen || rgb(f.at(cx(30), cy(30))) == light_blue;
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_NEAR(stage_start(run, Stage::DemoSetup), 3.75, 0.02) << "the noise still runs its four ticks";
    EXPECT_EQ(run.stages.back().second, Stage::DemoSetup) << "the demo ends on its first pass";
    EXPECT_NEAR(run.last_reading, 3.75, 0.02) << "about 4 s after the start";
    EXPECT_TRUE(run.demo_frames.empty());
    EXPECT_FALSE(boot_screen_seen);
}

TEST(Flow, EscapeInTheBootPhaseStartsTheDemo) {
    const auto dir = fresh_directory("skip");
    intro::DrivenRun s = settings(14.5);
    s.escapes = {{12.0, false}};
    std::vector<std::pair<double, std::string>> fps_lines;
    std::set<std::string> driver_lines;
    const Played run = play(dir, s, [&](const Frame& f, Stage stage) {
        if (stage != Stage::Demo || f.time < 12.1) return;
        driver_lines.insert(read_text(f, 1, 1, 16, status_green));
        fps_lines.emplace_back(f.time, read_text(f, 0, 10, 7, status_green));
    });
    EXPECT_EQ(run.status, 0) << "Escape held at the end finishes the demo";
    EXPECT_NEAR(stage_start(run, Stage::DemoSetup), 12.0, 0.02);
    EXPECT_EQ(driver_lines, std::set<std::string>{"Driver: Headless"});

    ASSERT_FALSE(fps_lines.empty());
    for (const auto& [time, line] : fps_lines) {
        if (time < 12.9) EXPECT_EQ(line, "FPS: 0 ") << time;
        if (time > 13.1) {
            ASSERT_EQ(line.substr(0, 5), "FPS: ") << time;
            const int fps = std::atoi(line.c_str() + 5);
            EXPECT_GE(fps, 20) << line;
            EXPECT_LE(fps, 33) << line << ": at most one frame every 0.03 s";
        }
    }
    ASSERT_GT(run.demo_frames.size(), 60u);
    for (std::size_t i = 1; i < run.demo_frames.size(); ++i) {
        EXPECT_GE(run.demo_frames[i] - run.demo_frames[i - 1], 0.03 - 1e-9) << i;
    }
}

class DemoSceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "demo";
        char* argv[] = {name};
        runtime::runtime_start(1, argv);
        gfx::screen_request_backend("Headless");
        ASSERT_EQ(gfx::screen_open(640, 480, 32, 2, 0, 0), gfx::Status::Ok);
        images = intro::demo_images_create();  // no pictures here: every Image is the key
        clock = 500.0;
        runtime::clock_drive([](void* p) { return *static_cast<double*>(p); }, &clock);
        scene = intro::demo_scene_setup(images);
    }
    void TearDown() override {
        runtime::clock_drive(nullptr, nullptr);
        intro::demo_images_release(images);
        gfx::screen_close();
        gfx::screen_request_backend("");
    }
    // The page the last frame was drawn into.
    std::uint32_t drawn(int x, int y) const {
        auto page = gfx::detail::screen_page_surface(1 - scene.page);
        std::uint32_t v;
        std::memcpy(&v, page->row(y) + 4 * x, 4);
        return v;
    }
    intro::DemoImages images;
    intro::DemoScene scene;
    double clock = 0.0;
};

TEST_F(DemoSceneTest, RasterBarRowsCarryTheirAlpha) {
    struct Case { int row; std::uint32_t alpha; };
    const Case cases[] = {{0, 0}, {1, 8}, {2, 17}, {3, 26}, {5, 42}, {29, 246}, {30, 255}, {31, 246}, {58, 17}, {59, 8}};
    const auto bytes = gfx::image_bytes(*images.raster_bar);
    for (const auto& c : cases) {
        EXPECT_EQ(intro::raster_bar_alpha(c.row), c.alpha) << c.row;
        for (int x : {0, 320, 639}) {
            std::uint32_t v;
            std::memcpy(&v, bytes.data() + 4 + (c.row * 640 + x) * 4, 4);
            EXPECT_EQ(v, (c.alpha << 24) | 0x00FF00u) << c.row << "," << x;
        }
    }
}

TEST_F(DemoSceneTest, MotionsBounceRespawnAndWrap) {
    std::vector<int> bar;
    std::vector<int> scroll;
    int bg_x_min = 1000, bg_x_max = -1000, bg_y_min = 1000, bg_y_max = -1000;
    int respawns = 0;
    bool bar_drawn_at_281 = false, bar_drawn_at_119 = false;
    for (int frame = 0; frame < 2000; ++frame) {
        const auto before = scene.stars;
        intro::demo_scene_frame(scene, images, nullptr);
        bar.push_back(scene.bar_y);
        scroll.push_back(scene.scroll_x);
        bg_x_min = std::min(bg_x_min, scene.bg_x);
        bg_x_max = std::max(bg_x_max, scene.bg_x);
        bg_y_min = std::min(bg_y_min, scene.bg_y);
        bg_y_max = std::max(bg_y_max, scene.bg_y);
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (before[i].x - before[i].speed < -100) {
                ++respawns;
                EXPECT_EQ(scene.stars[i].x, 640) << "respawned at 640, first drawn next frame";
                EXPECT_GE(scene.stars[i].speed, 10);
                EXPECT_LE(scene.stars[i].speed, 20);
                EXPECT_EQ(scene.stars[i].length, 100);
            } else {
                EXPECT_EQ(scene.stars[i].x, before[i].x - before[i].speed);
            }
        }
        // The bar's middle row (alpha 255) over the key-coloured background.
        const int middle = scene.bar_y + 30;
        int green = 0;
        for (int x = 0; x < 640; x += 16) green += drawn(x, middle) == 0xFF00FE00u ? 1 : 0;
        if (scene.bar_y == 281 && green > 30) bar_drawn_at_281 = true;
        if (scene.bar_y == 119 && green > 30) bar_drawn_at_119 = true;
    }
    EXPECT_GT(respawns, 20);
    EXPECT_EQ(*std::max_element(bar.begin(), bar.end()), 281);
    EXPECT_EQ(*std::min_element(bar.begin(), bar.end()), 119);
    EXPECT_TRUE(bar_drawn_at_281);
    EXPECT_TRUE(bar_drawn_at_119);
    for (std::size_t i = 1; i + 1 < bar.size(); ++i) {
        if (bar[i] == 281) EXPECT_EQ(bar[i + 1], 278);
        if (bar[i] == 119) EXPECT_EQ(bar[i + 1], 122);
    }
    EXPECT_EQ(bg_x_min, 15);
    EXPECT_EQ(bg_x_max, 160);
    EXPECT_EQ(bg_y_min, 15);
    EXPECT_EQ(bg_y_max, 120);

    std::vector<std::size_t> wraps;
    for (std::size_t i = 1; i < scroll.size(); ++i) {
        if (scroll[i] == 640) {
            EXPECT_EQ(scroll[i - 1] - 3, -8 * 277) << "drawn last at exactly -8 x 277";
            wraps.push_back(i);
        }
    }
    ASSERT_GE(wraps.size(), 2u);
    EXPECT_EQ(wraps[1] - wraps[0], 952u) << "one pass of the scroller";
}

TEST(Flow, MissingAndDamagedPicturesRunOn) {
    struct Case { const char* name; bool damaged; };
    for (const Case c : {Case{"none", false}, Case{"damaged", true}}) {
        SCOPED_TRACE(c.name);
        const auto dir = fresh_directory(c.name);
        if (c.damaged) {
            for (const auto& entry : std::filesystem::directory_iterator(data_directory())) {
                if (entry.path().extension() == ".bmp") std::filesystem::copy(entry.path(), dir / entry.path().filename());
            }
            ASSERT_TRUE(std::filesystem::exists(dir / "back.bmp"));
            std::filesystem::resize_file(dir / "back.bmp", std::filesystem::file_size(dir / "back.bmp") / 2);
            std::filesystem::resize_file(dir / "fnt32b.bmp", 30);
            std::ofstream(dir / "frame0.bmp") << "not a picture";
        }
        intro::DrivenRun s = settings(5.5);
        s.escapes = {{1.0, false}};
        int magenta = 0, looked = 0;
        const Played run = play(dir, s, [&](const Frame& f, Stage stage) {
            if (stage != Stage::Demo || f.time < 4.5 || c.damaged) return;
            for (int x = 300; x < 340; ++x, ++looked) magenta += rgb(f.at(x, 105)) == 0xFF00FF ? 1 : 0;
        });
        EXPECT_EQ(run.status, 0);
        EXPECT_NEAR(stage_start(run, Stage::DemoSetup), 3.75, 0.02);
        if (!c.damaged) {
            ASSERT_GT(looked, 0);
            EXPECT_GT(magenta, looked * 8 / 10) << "a missing back.bmp paints the key's colour";
        }
    }
}

TEST(Flow, PlaysWithThePictures) {
    intro::DrivenRun s = settings(6.0);
    s.escapes = {{4.5, false}};
    std::set<std::uint32_t> frame_corner;
    int noise_grey = 0, noise_looked = 0;
    const Played run = play(data_directory(), s, [&](const Frame& f, Stage stage) {
        if (stage == Stage::Noise && f.time > 0.2) {
            frame_corner.insert(rgb(f.at(4, 4)));
            for (int x = 200; x < 440; x += 8, ++noise_looked) noise_grey += grey(f.at(x, 250)) ? 1 : 0;
        }
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(frame_corner.size(), 1u) << "the monitor frame covers the corner";
    EXPECT_EQ(frame_corner.count(0), 0u);
    EXPECT_EQ(frame_corner.count(0xFF00FF), 0u);
    EXPECT_GT(noise_grey, noise_looked / 2) << "noise shows through the opening";
}

}  // namespace
