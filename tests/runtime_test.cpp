#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/clock.hpp"
#include "runtime/random.hpp"
#include "runtime/start.hpp"
#include "runtime/text.hpp"

using namespace runtime;

TEST(RoundEven, TiesGoToTheEvenNeighbour) {
    struct Case { double in; std::int32_t out; };
    const Case cases[] = {{8.5, 8},    {9.5, 10},   {25.5, 26},   {-2.5, -2},  {-3.5, -4}, {0.5, 0},
                          {1.5, 2},    {0.49999999999999994, 0}, {2.4, 2}, {2.6, 3},   {-0.4, 0},
                          {639.98046875, 640}, {1e12, INT32_MAX}, {-1e12, INT32_MIN}, {NAN, 0}};
    for (const auto& c : cases) EXPECT_EQ(round_even(c.in), c.out) << c.in;
}

TEST(RoundEven, DoesNotDependOnTheRoundingMode) {
    std::fesetround(FE_UPWARD);
    EXPECT_EQ(round_even(8.5), 8);
    EXPECT_EQ(round_even(8.2), 8);
    std::fesetround(FE_DOWNWARD);
    EXPECT_EQ(round_even(25.5), 26);
    EXPECT_EQ(round_even(25.7), 26);
    std::fesetround(FE_TONEAREST);
}

TEST(Random, RangeRepeatabilityAndLastNumber) {
    char* argv[] = {const_cast<char*>("test")};
    runtime_start(1, argv);
    EXPECT_EQ(random_unit(0.0f), 0.0) << "before any draw";
    double first[64];
    double low = 1, high = 0;
    for (double& v : first) v = random_unit(1.0f);
    EXPECT_EQ(random_unit(0.0f), first[63]) << "n = 0 repeats the last draw";
    for (int i = 0; i < 200000; ++i) {
        const double v = random_unit(NAN);  // NaN draws like any nonzero n
        low = std::min(low, v);
        high = std::max(high, v);
        ASSERT_EQ(v * 32768.0, std::floor(v * 32768.0)) << "every value is k / 32768";
    }
    EXPECT_EQ(low, 0.0);
    EXPECT_EQ(high, 32767.0 / 32768.0);
    runtime_start(1, argv);
    for (double v : first) EXPECT_EQ(random_unit(1.0f), v) << "the start state is fixed";
}

TEST(Random, TwoProcessesDrawTheSameSequence) {
    // A child process started afresh draws the same first values as a reset.
    const char* self = std::getenv("INTRO_TEST_SELF");
    if (self != nullptr) GTEST_SKIP() << "child";
    char* argv[] = {const_cast<char*>("test")};
    runtime_start(1, argv);
    std::string expected;
    for (int i = 0; i < 8; ++i) expected += std::to_string(detail::random_next()) + " ";
    std::string command = "INTRO_TEST_SELF=1 /proc/" + std::to_string(getpid()) +
                          "/exe --gtest_filter=Random.ChildPrints 2>/dev/null | grep '^seq:'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
    pclose(pipe);
    EXPECT_EQ(std::string(line), "seq: " + expected + "\n");
}

TEST(Random, ChildPrints) {
    if (std::getenv("INTRO_TEST_SELF") == nullptr) GTEST_SKIP() << "run by TwoProcessesDrawTheSameSequence";
    std::string out = "seq: ";
    for (int i = 0; i < 8; ++i) out += std::to_string(detail::random_next()) + " ";
    std::printf("%s\n", out.c_str());
}

TEST(Clock, HighResolutionIsMonotonicSeconds) {
    detail::clock_simulate_no_high_resolution(false);
    double previous = clock_seconds();
    EXPECT_EQ(detail::clock_source(), detail::ClockSource::HighResolution);
    for (int i = 0; i < 100000; ++i) {
        const double now = clock_seconds();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

TEST(Clock, MillisecondFallbackStepsByMilliseconds) {
    detail::clock_simulate_no_high_resolution(true);
    const double a = clock_seconds();
    EXPECT_EQ(detail::clock_source(), detail::ClockSource::Milliseconds);
    EXPECT_NEAR(a * 1000.0, std::round(a * 1000.0), 1e-6) << "whole milliseconds";
    EXPECT_DOUBLE_EQ(detail::milliseconds_to_seconds(1500), 1.5);
    EXPECT_DOUBLE_EQ(detail::milliseconds_to_seconds(0xFFFFFFFFu), 4294967.295);
    detail::clock_simulate_no_high_resolution(false);
    clock_seconds();
    EXPECT_EQ(detail::clock_source(), detail::ClockSource::HighResolution);
}

TEST(Clock, DrivenClockReplacesTheSource) {
    double now = 12.25;
    clock_drive([](void* c) { return *static_cast<double*>(c); }, &now);
    EXPECT_EQ(clock_seconds(), 12.25);
    now = 13.5;
    EXPECT_EQ(clock_seconds(), 13.5);
    clock_drive(nullptr, nullptr);
    EXPECT_NE(clock_seconds(), 13.5);
}

TEST(Text, Operations) {
    const Text command = "LOAD \"*\",8,1";
    EXPECT_EQ(text_length(command), 12);
    EXPECT_EQ(text_left(command, 0), Text());
    EXPECT_EQ(text_left(command, -3), Text());
    EXPECT_EQ(text_left(command, 5), Text("LOAD "));
    EXPECT_EQ(text_left(command, 20), command);
    EXPECT_EQ(text_left(Text(), 4), Text());
    EXPECT_EQ(text_concat("FPS: ", Text()), Text("FPS: "));
    EXPECT_EQ(text_concat(Text(), Text()), Text());
    EXPECT_EQ(text_concat("FPS: ", int_to_text(33)), Text("FPS: 33"));
    EXPECT_EQ(text_length(Text()), 0);
    const Text with_nul(std::string_view("a\0b", 3));
    EXPECT_EQ(text_length(with_nul), 3) << "the length, not a terminator, ends a text";
}

TEST(Text, IntToText) {
    struct Case { std::int32_t in; const char* out; };
    const Case cases[] = {{0, "0"}, {60, "60"}, {-7, "-7"}, {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}};
    for (const auto& c : cases) EXPECT_EQ(int_to_text(c.in), Text(c.out)) << c.in;
}

TEST(Start, ProgramNameDropsDirectoryAndLastExtension) {
    struct Case { const char* argv0; const char* name; };
    const Case cases[] = {{"/usr/local/bin/intro", "intro"}, {"./intro.bin", "intro"}, {"a.b.c", "a.b"},
                          {"/x/.hidden", ".hidden"}, {"plain", "plain"}};
    for (const auto& c : cases) {
        char* argv[] = {const_cast<char*>(c.argv0)};
        runtime_start(1, argv);
        EXPECT_EQ(runtime_program_name(), c.name) << c.argv0;
        EXPECT_EQ(runtime_arguments().size(), 1u);
    }
}
