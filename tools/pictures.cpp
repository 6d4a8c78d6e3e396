#include "tools/pictures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gfx/primitives.hpp"
#include "gfx/text.hpp"

namespace tools {

gfx::Color opaque(Rgb c) {
    auto channel = [](double v) -> gfx::Color {
        const double r = std::floor(v + 0.5);
        return static_cast<gfx::Color>(r < 0 ? 0 : (r > 255 ? 255 : r));
    };
    gfx::Color out = 0xFF000000u | channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
    if (gfx::is_transparent_key(out)) out -= 0x00010000u;
    return out;
}

double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

double smoothstep(double e0, double e1, double v) {
    const double t = clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

double cos_turns(double turns) {
    // Reduce to [-1/4, 1/4] turn around 0 or 1/2 turn, where the Taylor
    // series of cos converges fast; the sign follows the half used.
    double t = turns - std::floor(turns);
    double sign = 1;
    if (t > 0.5) t = 1 - t;
    if (t > 0.25) {
        t = 0.5 - t;
        sign = -1;
    }
    const double x = t * 6.283185307179586;
    const double x2 = x * x;
    double term = 1, sum = 1;
    for (int k = 1; k <= 9; ++k) {
        term *= -x2 / static_cast<double>((2 * k - 1) * (2 * k));
        sum += term;
    }
    return sign * sum;
}

double sin_turns(double turns) { return cos_turns(turns - 0.25); }

double ipow(double v, int n) {
    double result = 1;
    while (n > 0) {
        if (n & 1) result *= v;
        v *= v;
        n >>= 1;
    }
    return result;
}

std::uint64_t Random::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

Light light_height_field(const Grid<double>& height, std::int32_t x, std::int32_t y, int sharpness) {
    const double dx = (height.clamped(x + 1, y) - height.clamped(x - 1, y)) * 0.5;
    const double dy = (height.clamped(x, y + 1) - height.clamped(x, y - 1)) * 0.5;
    // Surface normal (-dx, -dy, 1); the light comes from the upper left and
    // the front, the viewer looks straight at the picture.
    const double n_len = std::sqrt(dx * dx + dy * dy + 1);
    const double nx = -dx / n_len, ny = -dy / n_len, nz = 1 / n_len;
    constexpr double lx = -0.42, ly = -0.56, lz = 0.714;
    const double l_len = std::sqrt(lx * lx + ly * ly + lz * lz);
    const double n_dot_l = (nx * lx + ny * ly + nz * lz) / l_len;
    Light light;
    light.diffuse = std::max(0.0, n_dot_l) * l_len / lz;
    const double hx = lx / l_len, hy = ly / l_len, hz = lz / l_len + 1;
    const double h_len = std::sqrt(hx * hx + hy * hy + hz * hz);
    const double n_dot_h = std::max(0.0, (nx * hx + ny * hy + nz * hz) / h_len);
    light.specular = ipow(n_dot_h, sharpness);
    return light;
}

void EdgeShape::add_edge(Point a, Point b) {
    edges_.push_back({a, b});
    for (const Point& p : {a, b}) {
        low_ = {std::min(low_.x, p.x), std::min(low_.y, p.y)};
        high_ = {std::max(high_.x, p.x), std::max(high_.y, p.y)};
    }
}

void EdgeShape::add_contour(const std::vector<Point>& points) {
    for (std::size_t i = 0; i < points.size(); ++i) add_edge(points[i], points[(i + 1) % points.size()]);
}

double EdgeShape::distance(Point p) const {
    double nearest = 1e30;
    bool inside = false;
    for (const Edge& e : edges_) {
        const double ex = e.b.x - e.a.x, ey = e.b.y - e.a.y;
        const double px = p.x - e.a.x, py = p.y - e.a.y;
        const double len2 = ex * ex + ey * ey;
        const double t = len2 > 0 ? clamp01((px * ex + py * ey) / len2) : 0;
        const double qx = px - ex * t, qy = py - ey * t;
        nearest = std::min(nearest, qx * qx + qy * qy);
        // A ray to the right crosses the edge when the edge spans p.y
        // (half-open, so a shared end point counts once).
        if ((e.a.y > p.y) != (e.b.y > p.y)) {
            const double cross_x = e.a.x + (p.y - e.a.y) * ex / ey;
            if (cross_x > p.x) inside = !inside;
        }
    }
    const double d = std::sqrt(nearest);
    return inside ? -d : d;
}

EdgeShape mask_outline(const Grid<std::uint8_t>& mask, Point origin, double cell_w, double cell_h) {
    auto set = [&](std::int32_t x, std::int32_t y) {
        return x >= 0 && y >= 0 && x < mask.width && y < mask.height && mask.at(x, y) != 0;
    };
    auto corner = [&](std::int32_t x, std::int32_t y) { return Point{origin.x + x * cell_w, origin.y + y * cell_h}; };
    EdgeShape shape;
    // Runs of cell borders where the two sides differ, merged along each line
    // so that a long straight side is one edge.
    for (std::int32_t y = 0; y <= mask.height; ++y) {
        for (std::int32_t x = 0; x < mask.width;) {
            if (set(x, y - 1) == set(x, y)) {
                ++x;
                continue;
            }
            const bool upper = set(x, y - 1);
            std::int32_t end = x;
            while (end < mask.width && set(end, y - 1) == upper && set(end, y) != upper) ++end;
            shape.add_edge(corner(x, y), corner(end, y));
            x = end;
        }
    }
    for (std::int32_t x = 0; x <= mask.width; ++x) {
        for (std::int32_t y = 0; y < mask.height;) {
            if (set(x - 1, y) == set(x, y)) {
                ++y;
                continue;
            }
            const bool left = set(x - 1, y);
            std::int32_t end = y;
            while (end < mask.height && set(x - 1, end) == left && set(x, end) != left) ++end;
            shape.add_edge(corner(x, y), corner(x, end));
            y = end;
        }
    }
    return shape;
}

Canvas::Canvas(std::int32_t width, std::int32_t height)
    : image_(gfx::image_create(width, height, 0, 0, gfx::flag_no_colour)), width_(width), height_(height) {
    if (image_ == nullptr) {
        std::fprintf(stderr, "cannot create a %d x %d Image (is a screen open?)\n", width, height);
        std::exit(1);
    }
}

Canvas::~Canvas() { gfx::image_destroy(image_); }

void Canvas::plot(std::int32_t x, std::int32_t y, gfx::Color colour) {
    gfx::draw_point(image_, static_cast<float>(x), static_cast<float>(y), colour, 0, 0);
}

Pixels Canvas::pixels() const { return image_pixels(*image_); }

Grid<std::uint8_t> builtin_text_mask(std::string_view text) {
    const auto w = static_cast<std::int32_t>(text.size()) * 8;
    Canvas canvas(w, 8);
    gfx::draw_text(canvas.image(), 0, 0, 0, text, 0xFFFFFFFFu, nullptr, gfx::BlitMode::Transparent);
    const Pixels drawn = canvas.pixels();
    Grid<std::uint8_t> mask(w, 8);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < w; ++x) mask.at(x, y) = drawn.at(x, y) == 0xFFFFFFFFu ? 1 : 0;
    return mask;
}

Grid<std::uint8_t> scale2x(const Grid<std::uint8_t>& mask) {
    auto get = [&](std::int32_t x, std::int32_t y) -> std::uint8_t {
        return x >= 0 && y >= 0 && x < mask.width && y < mask.height ? mask.at(x, y) : 0;
    };
    Grid<std::uint8_t> out(mask.width * 2, mask.height * 2);
    for (std::int32_t y = 0; y < mask.height; ++y) {
        for (std::int32_t x = 0; x < mask.width; ++x) {
            const std::uint8_t p = get(x, y), a = get(x, y - 1), b = get(x + 1, y), c = get(x - 1, y),
                               d = get(x, y + 1);
            out.at(2 * x, 2 * y) = (c == a && c != d && a != b) ? a : p;
            out.at(2 * x + 1, 2 * y) = (a == b && a != c && b != d) ? b : p;
            out.at(2 * x, 2 * y + 1) = (d == c && d != b && c != a) ? c : p;
            out.at(2 * x + 1, 2 * y + 1) = (b == d && b != a && d != c) ? d : p;
        }
    }
    return out;
}

}  // namespace tools
