// intro-capture: the intro rendered to PNG files or raw frames, the same
// frames on every run. See capture_usage for the command line.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "intro/capture.hpp"
#include "intro/capture_png.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* program = "intro-capture";
bool progress_on_screen = false;  // a progress line waits for its newline

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "%s%s: %s\n", progress_on_screen ? "\n" : "", program, message.c_str());
    std::exit(1);
}

// Creates the directory if it is missing, then proves it writable with a
// file of our own, so a bad folder is refused before a minute of rendering.
// Returns the absolute path, since the run later enters the data directory.
fs::path prepare_output(const std::string& name) {
    const fs::path dir = fs::absolute(name);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) fail("cannot create the output directory '" + name + "': " + ec.message());
    if (!fs::is_directory(dir, ec)) fail("'" + name + "' is not a directory");
    const fs::path probe = dir / (".intro-capture-probe-" + std::to_string(::getpid()));
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) fail("cannot write in the output directory '" + name + "': " + std::strerror(errno));
    ::close(fd);
    ::unlink(probe.c_str());
    return dir;
}

// The intro shows the transparent key where a picture is missing; running
// from the wrong directory is the usual cause, so say so.
void note_missing_pictures(const std::string& data) {
    static const std::array<const char*, 7> pictures = {"frame0.bmp", "glw.bmp",     "frame.bmp", "fnt32b.bmp",
                                                        "kelvorn.bmp", "kelvorn2.bmp", "back.bmp"};
    for (const char* picture : pictures) {
        if (::access(picture, R_OK) == 0) return;
    }
    std::fprintf(stderr, "%s: note: none of the intro's pictures is in '%s'; the scenes will lack them\n",
                 program, data.c_str());
}

class Progress {
public:
    explicit Progress(bool shown) : shown_(shown), start_(std::chrono::steady_clock::now()), last_(start_) {}

    void update(const intro::CaptureProgress& p, bool final) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (!final && now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const double wall = std::chrono::duration<double>(now - start_).count();
        const double rate = wall > 0.0 ? static_cast<double>(p.frames_passed) / wall : 0.0;
        std::fprintf(stderr, "\r%lld frames written, timeline %.2f of %.2f s, rendering %.1f frames/s   ",
                     static_cast<long long>(p.frames_written), p.time, p.end, rate);
        progress_on_screen = !final;
        if (final) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    bool shown_;
    std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace

int main(int argc, char** argv) {
    const intro::CaptureCommand command = intro::capture_parse_command(argc, argv);
    if (command.kind == intro::CaptureCommand::Kind::Help) {
        std::fputs(intro::capture_usage(program).c_str(), stdout);
        return 0;
    }
    if (command.kind == intro::CaptureCommand::Kind::Error) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program, command.error.c_str(), program);
        return 2;
    }
    const intro::CaptureOptions& options = command.options;
    const bool raw = options.output == "-";
    if (raw && ::isatty(STDOUT_FILENO)) {
        std::fprintf(stderr, "%s: raw frames are not for a terminal; pipe them into a program such as ffmpeg\n",
                     program);
        return 2;
    }
    fs::path out_dir;
    if (!raw) out_dir = prepare_output(options.output);
    if (::chdir(options.data.c_str()) != 0) {
        fail("cannot enter the data directory '" + options.data + "': " + std::strerror(errno));
    }
    note_missing_pictures(options.data);

    // A reader that goes away (ffmpeg failing) must give an error, not a
    // silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    static char out_buffer[1 << 20];
    if (raw) std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);

    Progress progress(::isatty(STDERR_FILENO) != 0);
    intro::CaptureProgress last;
    const auto sink = [&](const intro::CaptureFrame& frame) {
        if (raw) {
            const std::size_t count = static_cast<std::size_t>(frame.width) * frame.height;
            if (std::fwrite(frame.pixels, sizeof(std::uint32_t), count, stdout) != count) {
                fail(std::string("cannot write to standard output: ") + std::strerror(errno));
            }
            return;
        }
        std::string error;
        if (!intro::capture_png_write((out_dir / intro::capture_png_name(frame.number)).string(), frame, error)) {
            fail("cannot write " + error);
        }
    };
    const intro::CaptureResult result = intro::capture_run(options, sink, [&](const intro::CaptureProgress& p) {
        last = p;
        progress.update(p, false);
    });
    if (raw && std::fflush(stdout) != 0) fail(std::string("cannot write to standard output: ") + std::strerror(errno));
    progress.update(last, true);
    if (result.intro_status != 0) fail("the intro stopped with status " + std::to_string(result.intro_status));
    return 0;
}
