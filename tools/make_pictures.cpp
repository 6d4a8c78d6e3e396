// make_pictures OUTDIR: draws the intro's seven pictures with the graphics
// layer on the Headless display and writes them into OUTDIR as 24-bit BMP
// files. The output is the same on every run; data/ holds it.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

#include "gfx/screen.hpp"
#include "runtime/start.hpp"
#include "tools/picture_file.hpp"
#include "tools/pictures.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argc > 0 ? argv[0] : "make_pictures");
        return 2;
    }
    runtime::runtime_start(argc, argv);
    const std::filesystem::path out = argv[1];
    std::error_code error;
    std::filesystem::create_directories(out, error);

    gfx::screen_request_backend("Headless");
    if (gfx::screen_open(640, 480, 32, 2, 0, 0) != gfx::Status::Ok) {
        std::fprintf(stderr, "cannot open the Headless screen: %s\n", gfx::screen_open_failure().c_str());
        return 1;
    }

    const struct {
        const char* name;
        std::function<tools::Pixels()> draw;
    } pictures[] = {
        {"frame0.bmp", [] { return tools::picture_frame(false); }},
        {"frame.bmp", [] { return tools::picture_frame(true); }},
        {"glw.bmp", tools::picture_glare},
        {"fnt32b.bmp", tools::picture_font},
        {"kelvorn.bmp", tools::picture_logo},
        {"kelvorn2.bmp", tools::picture_logo2},
        {"back.bmp", tools::picture_background},
    };
    for (const auto& picture : pictures) {
        const tools::Pixels pixels = picture.draw();
        if (pixels.data.empty() || !tools::bmp_write(out / picture.name, pixels)) {
            std::fprintf(stderr, "cannot write %s\n", (out / picture.name).c_str());
            return 1;
        }
    }
    return 0;
}
