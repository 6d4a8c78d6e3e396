// A test fixture: the Headless screen (640 x 480, 32 bits, two pages) open for
// each test, and the Images a test keeps destroyed when it ends.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "gfx/backends/headless.hpp"
#include "gfx/image.hpp"
#include "gfx/screen.hpp"

class HeadlessScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        gfx::screen_request_backend("Headless");
        ASSERT_EQ(gfx::screen_open(640, 480, 32, 2, 0, 0), gfx::Status::Ok) << gfx::screen_open_failure();
    }
    void TearDown() override {
        for (gfx::Image* image : images_) gfx::image_destroy(image);
        gfx::screen_close();
        gfx::screen_request_backend("");
    }
    // Destroyed at the end of the test.
    gfx::Image* keep(gfx::Image* image) {
        EXPECT_NE(image, nullptr);
        images_.push_back(image);
        return image;
    }

private:
    std::vector<gfx::Image*> images_;
};
