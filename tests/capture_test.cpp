// The intro-capture program, run as a user runs it: deterministic frames,
// the scenes where the timeline puts them, Escape presses, scaling, PNG and
// raw output, and its refusals.
#include <gtest/gtest.h>

#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "scene_support.hpp"

extern char** environ;

using namespace scene_test;
namespace fs = std::filesystem;

namespace {

constexpr int width = 640, height = 480;
constexpr std::uint32_t light_blue = 0x7F7FD7;
constexpr std::uint32_t status_green = 0x00FF00;
// Canvas (x, y) is screen (x + 99, y + 64).
constexpr int cx(int x) { return x + 99; }
constexpr int cy(int y) { return y + 64; }
bool grey(std::uint32_t c) { return ((c >> 16) & 0xFF) == ((c >> 8) & 0xFF) && ((c >> 8) & 0xFF) == (c & 0xFF); }

struct Outcome {
    int status = -1;
    std::string out;  // standard output, bytes
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where a run's standard output goes: a file the test reads back, a device,
// or a pipe whose reading end is already closed.
struct Sink {
    enum class Kind { File, Device, ClosedPipe } kind = Kind::File;
    const char* device = nullptr;
};

// Runs intro-capture with `args`; standard error goes to a file.
Outcome capture(const std::vector<std::string>& args, Sink sink = {}) {
    static int serial = 0;
    const fs::path dir = fresh_directory("capture-io-" + std::to_string(serial++));
    const fs::path out = dir / "out", err = dir / "err";
    std::vector<std::string> words{INTRO_CAPTURE_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    int pipe_ends[2] = {-1, -1};
    switch (sink.kind) {
        case Sink::Kind::File:
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            break;
        case Sink::Kind::Device:
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, sink.device, O_WRONLY, 0);
            break;
        case Sink::Kind::ClosedPipe:
            if (pipe(pipe_ends) != 0) ADD_FAILURE() << "pipe: " << std::strerror(errno);
            close(pipe_ends[0]);
            posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
            break;
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    Outcome o;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (pipe_ends[1] >= 0) close(pipe_ends[1]);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawned);
        return o;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.out = slurp(out);
    o.err = slurp(err);
    fs::remove_all(dir);
    return o;
}

// The frames of a raw capture, each width x scale by height x scale.
std::vector<std::vector<std::uint32_t>> raw_frames(const std::string& bytes, int scale) {
    const std::size_t size = static_cast<std::size_t>(width) * scale * height * scale;
    std::vector<std::vector<std::uint32_t>> frames;
    for (std::size_t at = 0; at + size * 4 <= bytes.size(); at += size * 4) {
        std::vector<std::uint32_t> f(size);
        std::memcpy(f.data(), bytes.data() + at, size * 4);
        frames.push_back(std::move(f));
    }
    return frames;
}

Frame screen(const std::vector<std::uint32_t>& pixels, double time) {
    Frame f;
    f.time = time;
    f.pixels = pixels;
    return f;
}

std::vector<std::string> args(std::initializer_list<std::string> words) { return words; }

// A folder without pictures: every picture's Image stays the transparent key,
// so nothing covers the boot canvas.
const fs::path& empty_data() {
    static const fs::path dir = fresh_directory("capture-empty");
    return dir;
}

// 0xFFRRGGBB pixels of a PNG file, or nothing when it is not 8-bit RGB.
std::vector<std::uint32_t> read_png(const fs::path& path, int& w, int& h, bool& rgb) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    rgb = image.format == PNG_FORMAT_RGB;
    w = static_cast<int>(image.width);
    h = static_cast<int>(image.height);
    image.format = PNG_FORMAT_BGRA;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    return pixels;
}

TEST(CaptureProgram, SameTimelineGivesTheSameBytes) {
    // Across the end of the noise phase into the demo scene, skipped to at 1 s.
    const auto a = args({"--fps", "20", "--from", "3.0", "--seconds", "1.5", "--escape-at", "1", "--step", "0.005",
                         "--data", empty_data().string(), "-"});
    const Outcome first = capture(a);
    const Outcome second = capture(a);
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(second.status, 0) << second.err;
    const auto frames = raw_frames(first.out, 1);
    ASSERT_EQ(frames.size(), 30u);
    EXPECT_EQ(first.out.size(), frames.size() * width * height * 4) << "whole frames only";
    EXPECT_TRUE(first.out == second.out) << "two captures differ";

    std::size_t changes = 0;
    for (std::size_t i = 1; i < frames.size(); ++i) changes += frames[i] != frames[i - 1] ? 1 : 0;
    EXPECT_GT(changes, frames.size() / 2) << "the frames move";
    for (const auto& f : frames) {
        std::size_t opaque = 0;
        for (std::uint32_t v : f) opaque += (v >> 24) == 0xFF ? 1 : 0;
        ASSERT_EQ(opaque, f.size()) << "alpha is 255 in raw frames";
    }
}

TEST(CaptureProgram, PngFilesHoldTheRawFrames) {
    const fs::path dir = fresh_directory("capture-png") / "made" / "here";  // created by the program
    const auto common = args({"--fps", "4", "--from", "3.5", "--seconds", "1", "--escape-at", "0", "--scale", "2",
                              "--step", "0.005", "--data", empty_data().string()});
    auto png_args = common;
    png_args.push_back(dir.string());
    auto raw_args = common;
    raw_args.push_back("-");
    const Outcome png = capture(png_args);
    const Outcome raw = capture(raw_args);
    ASSERT_EQ(png.status, 0) << png.err;
    ASSERT_EQ(raw.status, 0) << raw.err;
    EXPECT_TRUE(png.out.empty());
    const auto frames = raw_frames(raw.out, 2);
    ASSERT_EQ(frames.size(), 4u);

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame-000000.png", "frame-000001.png", "frame-000002.png",
                                               "frame-000003.png"}));
    for (std::size_t i = 0; i < names.size() && i < frames.size(); ++i) {
        int w = 0, h = 0;
        bool rgb = false;
        const auto pixels = read_png(dir / names[i], w, h, rgb);
        ASSERT_FALSE(pixels.empty()) << names[i];
        EXPECT_TRUE(rgb) << names[i] << " is 8-bit RGB without alpha";
        EXPECT_EQ(w, 2 * width);
        EXPECT_EQ(h, 2 * height);
        EXPECT_TRUE(pixels == frames[i]) << names[i];
    }
    fs::remove_all(dir.parent_path().parent_path());
}

// One run covers the noise and the boot screen at one frame a second.
TEST(CaptureProgram, FramesShowTheScenesOfTheirTime) {
    const Outcome o = capture(args({"--fps", "1", "--from", "2", "--seconds", "28", "--step", "0.005", "--data",
                                    empty_data().string(), "-"}));
    ASSERT_EQ(o.status, 0) << o.err;
    const auto frames = raw_frames(o.out, 1);
    ASSERT_EQ(frames.size(), 28u);
    const auto at = [&](int second) { return screen(frames[static_cast<std::size_t>(second - 2)], second); };

    struct Case {
        int second;
        const char* banner;   // row 68 of the canvas
        const char* command;  // the first command row, 14 cells
        const char* search;   // 15 cells
        const char* run;      // the second command row, 5 cells
    };
    const std::string banner = "    **** COMMODORE 64 BASIC V2 ****     ";
    const Case cases[] = {
        {12, banner.c_str(), "LOA", "               ", "     "},
        {21, banner.c_str(), "LOAD \"*\",8,1  ", "               ", "     "},
        {23, banner.c_str(), "LOAD \"*\",8,1  ", "SEARCHING FOR *", "     "},
        {29, banner.c_str(), "LOAD \"*\",8,1  ", "SEARCHING FOR *", "RUN  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("timeline " + std::to_string(c.second) + " s");
        const Frame f = at(c.second);
        EXPECT_EQ(read_text(f, cx(61), cy(68), 40, light_blue), c.banner);
        const std::string command = read_text(f, cx(61), cy(108), 14, light_blue);
        EXPECT_EQ(command.substr(0, std::strlen(c.command)), c.command);
        EXPECT_EQ(read_text(f, cx(61), cy(132), 15, light_blue), c.search);
        EXPECT_EQ(read_text(f, cx(61), cy(156), 5, light_blue), c.run);
        EXPECT_NE(read_text(f, 1, 1, 16, status_green), "Driver: Headless") << "no driver line in the boot scene";
    }
    for (int second : {2, 3}) {
        const Frame f = at(second);
        int grey_seen = 0, looked = 0;
        std::set<std::uint32_t> levels;
        for (int x = 0; x < 448; x += 7, ++looked) {
            grey_seen += grey(f.at(cx(x), cy(200))) ? 1 : 0;
            levels.insert(f.at(cx(x), cy(200)));
        }
        EXPECT_EQ(grey_seen, looked) << "noise across the canvas at " << second << " s";
        EXPECT_GT(levels.size(), 16u) << "many grey levels at " << second << " s";
        EXPECT_NE(read_text(f, cx(61), cy(68), 40, light_blue), banner);
    }
    EXPECT_NE(at(2).pixels, at(3).pixels) << "the noise changes";
}

TEST(CaptureProgram, EscapeSkipsTheBootScene) {
    struct Case {
        std::vector<std::string> escapes;
        const char* time;
        bool demo;  // the driver line shows
    };
    const Case cases[] = {
        {{}, "5.5", false},
        {{"5"}, "5.5", true},
        {{"1"}, "3.5", false},  // the noise phase does not look at Escape
        {{"1"}, "4.5", true},
        {{"0", "9"}, "7", true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> a{"--fps", "10", "--from", c.time, "--seconds", "0.1", "--step", "0.005",
                                   "--data", empty_data().string()};
        std::string trace = std::string("frame at ") + c.time + " s, Escape at";
        for (const std::string& e : c.escapes) {
            a.insert(a.end(), {"--escape-at", e});
            trace += " " + e;
        }
        SCOPED_TRACE(trace);
        a.push_back("-");
        const Outcome o = capture(a);
        ASSERT_EQ(o.status, 0) << o.err;
        const auto frames = raw_frames(o.out, 1);
        ASSERT_EQ(frames.size(), 1u);
        const Frame f = screen(frames[0], 0);
        EXPECT_EQ(read_text(f, 1, 1, 16, status_green) == "Driver: Headless", c.demo);
    }
}

TEST(CaptureProgram, EscapeInTheDemoEndsTheRecording) {
    // Escape at 1 s skips the boot scene once the noise is over (3.75 s); the
    // one at 5 s ends the demo, and with it the frames, long before 8 s.
    const Outcome o = capture(args({"--fps", "10", "--seconds", "8", "--escape-at", "1", "--escape-at", "5", "--step",
                                    "0.005", "--data", empty_data().string(), "-"}));
    ASSERT_EQ(o.status, 0) << o.err;
    const auto frames = raw_frames(o.out, 1);
    EXPECT_GE(frames.size(), 50u);
    EXPECT_LE(frames.size(), 52u);
    const Frame last = screen(frames.back(), 0);
    EXPECT_EQ(read_text(last, 1, 1, 16, status_green), "Driver: Headless");
}

TEST(CaptureProgram, RawSizeFollowsFramesAndScale) {
    struct Case {
        const char* fps;
        const char* from;
        const char* seconds;
        int scale;
        std::size_t frames;  // monitor frames n / fps in [from, from + seconds)
    };
    const Case cases[] = {
        {"10", "0", "1", 1, 10},
        {"5", "0.5", "1.2", 2, 6},  // 0.6, 0.8, ..., 1.6
        {"4", "1", "0.5", 3, 2},    // 1.0, 1.25
        {"3", "2", "0.2", 1, 1},    // 2.0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("fps ") + c.fps + ", from " + c.from + ", seconds " + c.seconds + ", scale " +
                     std::to_string(c.scale));
        const auto common = [&](int scale) {
            return args({"--fps", c.fps, "--from", c.from, "--seconds", c.seconds, "--scale", std::to_string(scale),
                         "--step", "0.005", "--data", empty_data().string(), "-"});
        };
        const Outcome o = capture(common(c.scale));
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out.size(), c.frames * width * c.scale * height * c.scale * 4);
        if (c.scale == 1) continue;

        // Each pixel of the frame at scale 1 becomes a scale x scale block.
        const Outcome plain = capture(common(1));
        ASSERT_EQ(plain.status, 0) << plain.err;
        const auto big = raw_frames(o.out, c.scale);
        const auto small = raw_frames(plain.out, 1);
        ASSERT_EQ(big.size(), small.size());
        for (std::size_t i = 0; i < big.size(); ++i) {
            std::size_t wrong = 0;
            for (int y = 0; y < height * c.scale; ++y) {
                for (int x = 0; x < width * c.scale; ++x) {
                    const std::uint32_t want = small[i][static_cast<std::size_t>(y / c.scale) * width + x / c.scale];
                    wrong += big[i][static_cast<std::size_t>(y) * width * c.scale + x] != want ? 1 : 0;
                }
            }
            EXPECT_EQ(wrong, 0u) << "frame " << i;
        }
    }
}

TEST(CaptureProgram, RefusesWhatItCannotUse) {
    const fs::path dir = fresh_directory("capture-refuse");
    std::ofstream(dir / "plain-file") << "x";
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        std::string output;
        const char* mentions;
    };
    const Case cases[] = {
        {"a folder under a regular file", {}, "/dev/null/frames", "/dev/null/frames"},
        {"a regular file for the folder", {}, (dir / "plain-file").string(), "plain-file"},
        {"a missing data folder", {"--data", (dir / "no-such-data").string()}, (dir / "frames").string(),
         "no-such-data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> a{"--seconds", "0.5", "--step", "0.01"};
        a.insert(a.end(), c.extra.begin(), c.extra.end());
        if (c.extra.empty()) a.insert(a.end(), {"--data", empty_data().string()});
        a.push_back(c.output);
        const Outcome o = capture(a);
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find("intro-capture: "), std::string::npos) << o.err;
        EXPECT_NE(o.err.find(c.mentions), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty());
    }
    EXPECT_FALSE(fs::exists(dir / "frames" / "frame-000000.png"));
    fs::remove_all(dir);
}

TEST(CaptureProgram, FailsWhenTheFramesCannotBeWritten) {
    struct Case {
        const char* name;
        Sink sink;
        const char* mentions;
    };
    const Case cases[] = {
        {"a full device", {Sink::Kind::Device, "/dev/full"}, "standard output"},
        {"a reader that went away", {Sink::Kind::ClosedPipe, nullptr}, "standard output"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = capture(args({"--fps", "10", "--seconds", "1", "--step", "0.01", "--data",
                                        empty_data().string(), "-"}),
                                  c.sink);
        EXPECT_EQ(o.status, 1) << "an error status, not a death by signal";
        EXPECT_NE(o.err.find(std::string("intro-capture: cannot write to ") + c.mentions), std::string::npos) << o.err;
    }
}

TEST(CaptureProgram, BadOptionsGiveUsage) {
    const fs::path dir = fresh_directory("capture-usage");
    const std::string out = (dir / "frames").string();
    const std::vector<std::vector<std::string>> cases = {
        {"--fps", "0", out},           {"--fps", "241", out},       {"--fps", "2.5", out},
        {"--fps", "ten", out},         {"--scale", "0", out},       {"--scale", "9", out},
        {"--seconds", "0", out},       {"--seconds", "-1", out},    {"--seconds", "1x", out},
        {"--from", "-0.5", out},       {"--escape-at", "-1", out},  {"--escape-at", "soon", out},
        {"--step", "0", out},          {"--step", "0.02", out},     {"--step", "nan", out},
        {"--seconds", "inf", out},     {"--frobnicate", out},       {"-x", out},
        {out, out + "2"},              {},                          {"--fps"},
        {"--from", "100", out},  // past the default end
    };
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& w : c) line += w + " ";
        SCOPED_TRACE(line);
        const Outcome o = capture(c);
        EXPECT_EQ(o.status, 2);
        EXPECT_NE(o.err.find("Try 'intro-capture --help'."), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty());
    }
    EXPECT_FALSE(fs::exists(out)) << "nothing is created on a usage error";

    const Outcome help = capture({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: intro-capture [OPTIONS] DIR", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("62.75"), std::string::npos) << "the default length is stated";
    fs::remove_all(dir);
}

}  // namespace
