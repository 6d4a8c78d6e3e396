// The monitor: its frame (case, bezel, badge, power light) and the glare on
// its glass.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "gfx/blit.hpp"
#include "tools/pictures.hpp"

namespace tools {
namespace {

constexpr std::int32_t frame_width = 640, frame_height = 480;

// Signed distance to a box with rounded corners around `centre`.
double rounded_box(Point p, Point centre, double half_w, double half_h, double radius) {
    const double qx = std::abs(p.x - centre.x) - (half_w - radius);
    const double qy = std::abs(p.y - centre.y) - (half_h - radius);
    const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

// The window of the tube: a rounded box 6 pixels larger on each side than
// the simulated screen with its border, its sides bowed outward by 2.5
// pixels in the middle like the face of a picture tube. Its corners (radius
// 18) still hold the border's corner pixels, and its widest extent (columns
// 110 to 528, rows 75 to 395) stays inside the noise.
double window_distance(Point p) {
    const Point centre{(border_area.left + border_area.right + 1) * 0.5,
                       (border_area.top + border_area.bottom + 1) * 0.5};
    const double half_w = (border_area.right - border_area.left + 1) * 0.5 + 6;
    const double half_h = (border_area.bottom - border_area.top + 1) * 0.5 + 6;
    constexpr double bow = 2.5;
    const double ty = (p.y - centre.y) / half_h, tx = (p.x - centre.x) / half_w;
    const double w = half_w + bow * std::max(0.0, 1 - ty * ty);
    const double h = half_h + bow * std::max(0.0, 1 - tx * tx);
    return rounded_box(p, centre, w, h, 18);
}

// Height of the face around the window, by distance t from the window's
// edge: the black rim of the tube, a shadowed gap, the bezel wall rising out
// of the recess, a rounded bead and then the flat front at height 9.5.
double bezel_height(double t) {
    if (t < 4.5) return -1.6 + 1.6 * smoothstep(0, 4.5, t);
    if (t < 6.5) return -0.4;
    if (t < 24) {
        const double u = (t - 6.5) / 17.5;
        return 9.5 * (0.55 * u + 0.45 * smoothstep(0, 1, u));
    }
    if (t < 30) {
        const double u = (t - 24) / 6;
        return 9.5 + 1.4 * 4 * u * (1 - u);
    }
    return 9.5;
}

struct Material {
    Rgb albedo;
    double shine = 0;  // strength of the specular highlight
    int sharpness = 12;
};

// Writes `mask` (set cells) into the height and material grids at (left,
// top), `scale` pixels a cell: raised by `lift`, in the colour `ink(y)` of
// the row within the mask.
template <class InkColour>
void press_mask(Grid<double>& height, Grid<Material>& material, const Grid<std::uint8_t>& mask,
                std::int32_t left, std::int32_t top, double lift, InkColour ink, double shine) {
    for (std::int32_t y = 0; y < mask.height; ++y) {
        for (std::int32_t x = 0; x < mask.width; ++x) {
            if (mask.at(x, y) == 0) continue;
            height.at(left + x, top + y) += lift;
            Material& m = material.at(left + x, top + y);
            m.albedo = ink(y, m.albedo);
            m.shine = shine;
        }
    }
}

// The red light in front: a glass dome in a dark socket. Lit, the glass
// glows from within and a halo spreads over the case (added by a blit).
constexpr Point lamp_centre{498.5, 451.5};

Rgb lamp_glass(double d, bool power_on) {
    if (!power_on) return mix(Rgb{96, 26, 20}, Rgb{52, 12, 10}, d / 4.5);
    return mix(Rgb{255, 236, 214}, Rgb{255, 62, 30}, smoothstep(0, 3.6, d));
}

void add_lamp_halo(Canvas& frame) {
    constexpr std::int32_t radius = 26;
    Canvas halo(2 * radius + 1, 2 * radius + 1);
    for (std::int32_t y = 0; y <= 2 * radius; ++y) {
        for (std::int32_t x = 0; x <= 2 * radius; ++x) {
            const double dx = x - radius, dy = y - radius;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < 6.5 || d >= radius) continue;  // the socket shows the glass itself
            const double glow = 1 / (1 + (d - 4) * (d - 4) / 10) * (1 - smoothstep(radius * 0.55, radius, d));
            halo.plot(x, y, opaque(Rgb{210, 52, 22} * glow));
        }
    }
    gfx::blit(frame.image(), static_cast<float>(std::floor(lamp_centre.x) - radius),
              static_cast<float>(std::floor(lamp_centre.y) - radius), halo.image(), gfx::whole_source, 0, 0, 0, 0,
              gfx::BlitMode::Add, 255);
}

}  // namespace

Pixels picture_frame(bool power_on) {
    Grid<double> height(frame_width, frame_height);
    Grid<Material> material(frame_width, frame_height);
    Grid<std::uint8_t> window(frame_width, frame_height);
    Random grain(0x6D6F6E69746F72ull);

    const Rgb plastic_top{201, 192, 172}, plastic_bottom{178, 168, 148};
    for (std::int32_t y = 0; y < frame_height; ++y) {
        for (std::int32_t x = 0; x < frame_width; ++x) {
            const Point p{x + 0.5, y + 0.5};
            const double t = window_distance(p);
            window.at(x, y) = t < 0;
            const double edge = -rounded_box(p, {320, 240}, 320, 240, 26);
            Material& m = material.at(x, y);
            if (edge < 0) {
                m.albedo = {9, 9, 11};
                height.at(x, y) = 0;
                continue;
            }
            const double rim = 1 - std::min(edge, 12.0) / 12;
            height.at(x, y) = std::min(bezel_height(t), 9.5 * (1 - rim * rim));

            const double tone = 1 + 0.024 * (grain.unit() - 0.5);
            Rgb plastic = mix(plastic_top, plastic_bottom, y / 480.0) * tone;
            if (t < 4.5) {
                m.albedo = mix(Rgb{8, 8, 10}, Rgb{26, 26, 29}, t / 4.5);
                m.shine = 0.5;
                m.sharpness = 30;
            } else if (t < 6.5) {
                m.albedo = {5, 5, 6};
            } else {
                // The recess darkens toward the glass, where less light reaches.
                m.albedo = plastic * (0.72 + 0.28 * smoothstep(6.5, 20, t));
                m.shine = 0.08;
            }
        }
    }

    // The chin under the window: the maker's name in raised chrome on a dark
    // plate, the model engraved at the left, the light and its switch at the
    // right.
    const Point plate_centre{320, 451.5};
    for (std::int32_t y = 436; y < 468; ++y) {
        for (std::int32_t x = 240; x < 400; ++x) {
            const Point p{x + 0.5, y + 0.5};
            const double d = rounded_box(p, plate_centre, 66, 12, 4);
            if (d > 1.5) continue;
            height.at(x, y) += 1.4 * smoothstep(1.5, -1.5, d);
            if (d < 0) {
                Material& m = material.at(x, y);
                m.albedo = mix(Rgb{70, 70, 78}, Rgb{34, 34, 40}, (p.y - 439.5) / 24);
                m.shine = 0.35;
                m.sharpness = 20;
            }
        }
    }
    const auto badge = scale2x(builtin_text_mask("TELMORA"));
    press_mask(height, material, badge, 320 - badge.width / 2, 444, 1.0,
               [](std::int32_t row, Rgb) { return mix(Rgb{246, 246, 250}, Rgb{150, 152, 164}, row / 15.0); },
               0.9);

    auto engrave = [&](std::string_view text, std::int32_t left, std::int32_t top) {
        press_mask(height, material, builtin_text_mask(text), left, top, -0.9,
                   [](std::int32_t, Rgb under) { return under * 0.8; }, 0.0);
    };
    engrave("COLOUR MONITOR", 116, 448);
    engrave("CM-1402", 152, 458);
    engrave("POWER", 436, 448);

    const Point switch_centre{554, 451.5};
    for (std::int32_t y = 436; y < 468; ++y) {
        for (std::int32_t x = 470; x < 590; ++x) {
            const Point p{x + 0.5, y + 0.5};
            const double sw = rounded_box(p, switch_centre, 21, 8.5, 4);
            if (sw < 1.5) {
                height.at(x, y) += 2.2 * smoothstep(1.5, -2, sw);
                if (sw < 0) material.at(x, y).albedo = material.at(x, y).albedo * 0.9;
            }
            const double dx = p.x - lamp_centre.x, dy = p.y - lamp_centre.y;
            const double d = std::sqrt(dx * dx + dy * dy);
            Material& m = material.at(x, y);
            if (d < 4.5) {
                height.at(x, y) += 2.6 * std::sqrt(std::max(0.0, 1 - d * d / 20.25)) - 1.2;
                m.albedo = lamp_glass(d, power_on);
                m.shine = 1.0;
                m.sharpness = 40;
            } else if (d < 6.5) {
                height.at(x, y) -= 1.2 * smoothstep(6.5, 5.5, d);
                m.albedo = {30, 28, 26};
                m.shine = 0.2;
            }
        }
    }

    Canvas frame(frame_width, frame_height);
    for (std::int32_t y = 0; y < frame_height; ++y) {
        for (std::int32_t x = 0; x < frame_width; ++x) {
            if (window.at(x, y)) continue;  // stays the transparent key
            const Material& m = material.at(x, y);
            const Light light = light_height_field(height, x, y, m.sharpness);
            Rgb c = m.albedo * (0.3 + 0.7 * light.diffuse) + Rgb{255, 250, 240} * (m.shine * light.specular * 0.6);
            const double dx = x + 0.5 - lamp_centre.x, dy = y + 0.5 - lamp_centre.y;
            if (power_on && dx * dx + dy * dy < 4.5 * 4.5) c = mix(c, m.albedo, 0.75);  // light from within
            frame.plot(x, y, opaque(c));
        }
    }
    if (power_on) add_lamp_halo(frame);
    return frame.pixels();
}

Pixels picture_glare() {
    constexpr std::int32_t width = 121, height = 61;
    Canvas glare(width, height);
    Random dither(0x676C617265ull);
    // A long oval tilted up to the right, bright in the middle and fading to
    // a grey-blue near the light blue of the border it mostly lies on; its fringe is
    // dithered into the key so that no hard edge shows through the blend.
    const double c = cos_turns(-12.0 / 360), s = sin_turns(-12.0 / 360);
    const Point centre{width * 0.5, height * 0.5};
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const double dx = x + 0.5 - centre.x, dy = y + 0.5 - centre.y;
            const double u = (dx * c + dy * s) / 56, v = (-dx * s + dy * c) / 21;
            const double rho2 = u * u + v * v;
            const double fringe = dither.unit();
            if (rho2 >= 1 || fringe < smoothstep(0.68, 1.0, rho2)) continue;
            const double body = (1 - rho2) * (1 - rho2);
            const double core2 = (u + 0.12) * (u + 0.12) * 2.2 + v * v * 1.6;
            const double core = core2 < 1 ? (1 - core2) * (1 - core2) : 0;
            Rgb colour = mix(Rgb{122, 124, 206}, Rgb{190, 200, 240}, smoothstep(0, 0.75, body));
            colour = mix(colour, Rgb{255, 255, 255}, core);
            glare.plot(x, y, opaque(colour));
        }
    }
    return glare.pixels();
}

}  // namespace tools
