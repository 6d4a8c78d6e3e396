// The seven pictures of the intro and the small painting kit they share.
//
// Every picture is drawn with the graphics layer into an Image made by
// image_create (so a screen must be open) and returned as its pixels. The
// results depend only on the code: noise comes from a seeded generator, and
// the arithmetic is limited to +, -, *, / and sqrt on doubles (no library
// trigonometry or powers), so every build of the tool draws the same bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "gfx/image.hpp"
#include "gfx/types.hpp"
#include "tools/picture_file.hpp"

namespace tools {

// The pictures, named after their files.
Pixels picture_frame(bool power_on);  // frame0.bmp (off), frame.bmp (on): 640 x 480
Pixels picture_glare();               // glw.bmp: 121 x 61
Pixels picture_font();                // fnt32b.bmp: 864 x 18
Pixels picture_logo();                // kelvorn.bmp: 640 x 240
Pixels picture_logo2();               // kelvorn2.bmp: 640 x 240
Pixels picture_background();          // back.bmp: 800 x 600

// A rectangle of pixels, ends included.
struct Box {
    std::int32_t left, top, right, bottom;
};
// Where the boot scene shows the simulated screen with its border (screen
// pixels), which the frame's window must hold; the window must also stay
// inside the canvas' noise, columns 99 to 546 and rows 64 to 447.
inline constexpr Box border_area{119, 84, 519, 386};

// Colour arithmetic in doubles on the 0..255 scale.
struct Rgb {
    double r = 0, g = 0, b = 0;
};
constexpr Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
constexpr Rgb operator-(Rgb a, Rgb b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
constexpr Rgb operator*(Rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }
constexpr Rgb mix(Rgb a, Rgb b, double t) { return a + (b - a) * t; }

// Opaque colour, each channel rounded (halves up) and clamped to 0..255. A
// result that would be the transparent key is moved one step off it, so
// only the key_colour written on purpose is see-through.
gfx::Color opaque(Rgb c);

double clamp01(double v);
// 0 below e0, 1 above e1, a smooth cubic between.
double smoothstep(double e0, double e1, double v);
// cos(2 pi turns), by range reduction and a polynomial.
double cos_turns(double turns);
double sin_turns(double turns);
// v to the power n >= 0, by repeated squaring.
double ipow(double v, int n);

// A seeded 64-bit generator (splitmix64).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform in [0, 1).
    double unit();

private:
    std::uint64_t state_;
};

// A width x height grid of values, row by row.
template <class T>
struct Grid {
    std::int32_t width = 0, height = 0;
    std::vector<T> cells;

    Grid() = default;
    Grid(std::int32_t w, std::int32_t h, T fill = T{})
        : width(w), height(h), cells(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}
    T& at(std::int32_t x, std::int32_t y) { return cells[index(x, y)]; }
    const T& at(std::int32_t x, std::int32_t y) const { return cells[index(x, y)]; }
    // The nearest cell for coordinates outside the grid.
    const T& clamped(std::int32_t x, std::int32_t y) const {
        x = x < 0 ? 0 : (x >= width ? width - 1 : x);
        y = y < 0 ? 0 : (y >= height ? height - 1 : y);
        return at(x, y);
    }

private:
    std::size_t index(std::int32_t x, std::int32_t y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    }
};

// Lambert and Blinn-Phong shading of a height field lit from the upper left
// and the front. `height` is in pixels (larger is nearer the viewer); the
// result at (x, y) is the diffuse factor (1 on a flat surface) and the
// specular highlight of the given sharpness.
struct Light {
    double diffuse = 1, specular = 0;
};
Light light_height_field(const Grid<double>& height, std::int32_t x, std::int32_t y, int sharpness);

// Signed distance of a shape drawn as straight edges: negative inside, by
// the even-odd rule over all edges, positive outside. The edges must form
// closed loops.
struct Point {
    double x = 0, y = 0;
};
struct Edge {
    Point a, b;
};
class EdgeShape {
public:
    void add_contour(const std::vector<Point>& points);
    void add_edge(Point a, Point b);
    double distance(Point p) const;
    bool empty() const { return edges_.empty(); }
    // Bounding box of the edges.
    Point low() const { return low_; }
    Point high() const { return high_; }

private:
    std::vector<Edge> edges_;
    Point low_{1e30, 1e30}, high_{-1e30, -1e30};
};

// The outline of the set cells of a mask, each cell `cell_w` x `cell_h`
// pixels, with the mask's (0, 0) at `origin`.
EdgeShape mask_outline(const Grid<std::uint8_t>& mask, Point origin, double cell_w, double cell_h);

// A drawing target: an Image of the screen's pixel size from image_create,
// filled with the transparent key. Writes go through the graphics layer.
class Canvas {
public:
    Canvas(std::int32_t width, std::int32_t height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    gfx::Image* image() { return image_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    void plot(std::int32_t x, std::int32_t y, gfx::Color colour);
    Pixels pixels() const;

private:
    gfx::Image* image_;
    std::int32_t width_, height_;
};

// The ink of `text` in the built-in font: a mask 8 x length wide and 8 high,
// found by drawing the text with draw_text.
Grid<std::uint8_t> builtin_text_mask(std::string_view text);

// Doubles a mask in both directions, rounding the stairs of diagonal edges
// (each cell becomes four; a corner takes the colour its two neighbours share
// when they differ from the other two).
Grid<std::uint8_t> scale2x(const Grid<std::uint8_t>& mask);

}  // namespace tools
