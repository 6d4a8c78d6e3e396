// preview_pictures PICTURE_DIR OUTDIR [SECONDS...]: plays the intro on the
// Headless display with a driven clock, reading its pictures from
// PICTURE_DIR, and writes what the monitor shows at each given second of the
// timeline as OUTDIR/preview_SECONDS.bmp. Without seconds: moments of the
// noise, the boot screen, the flashing border and the demo.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "intro/driven.hpp"
#include "tools/picture_file.hpp"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PICTURE_DIR OUTDIR [SECONDS...]\n", argc > 0 ? argv[0] : "preview_pictures");
        return 2;
    }
    const std::filesystem::path out = std::filesystem::absolute(argv[2]);
    std::vector<double> moments;
    for (int i = 3; i < argc; ++i) moments.push_back(std::strtod(argv[i], nullptr));
    if (moments.empty()) moments = {2.5, 14.0, 27.0, 32.0, 36.0, 38.5, 41.0};
    std::sort(moments.begin(), moments.end());

    std::error_code error;
    std::filesystem::create_directories(out, error);
    std::filesystem::current_path(argv[1], error);
    if (error) {
        std::fprintf(stderr, "cannot enter %s\n", argv[1]);
        return 1;
    }

    std::size_t next = 0;
    bool written_all = true;
    intro::DrivenRun run;
    run.step = 0.001;
    run.end = moments.back() + 0.1;
    run.on_sample = [&](const intro::Sample& sample) {
        if (next >= moments.size() || sample.time < moments[next]) return;
        tools::Pixels pixels{sample.width, sample.height,
                             std::vector<std::uint32_t>(sample.pixels, sample.pixels + sample.width * sample.height)};
        char name[64];
        std::snprintf(name, sizeof name, "preview_%05.1f.bmp", moments[next]);
        written_all = tools::bmp_write(out / name, pixels) && written_all;
        ++next;
    };
    char program[] = "intro";
    char* arguments[] = {program, nullptr};
    const int status = intro::driven_run(run, 1, arguments);
    return status == 0 && written_all && next == moments.size() ? 0 : 1;
}
