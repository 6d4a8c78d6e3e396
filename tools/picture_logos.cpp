// The two logos, added over the background: the group's name in big
// slanted block letters, and a slogan in the built-in font's shapes blown up.
//
// Both are seen through saturating addition, where black adds nothing and
// nothing can darken. So a letter is drawn from the inside out as its fill,
// a thin black gap (the background shows through it as a dark line), a
// bright rim and a faint glow fading into the key; the gap and the rim
// together read as the outline.
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "tools/pictures.hpp"

namespace tools {
namespace {

constexpr std::int32_t logo_width = 640, logo_height = 240;

struct Lettering {
    EdgeShape shape;
    // Maps a pixel centre to the shape's coordinates.
    std::function<Point(Point)> to_shape;
    double pixels_per_unit = 1;
    Box box;  // pixels the letters cover
};

struct LetteringStyle {
    double rim = 2, gap = 1.5, glow = 7, bevel = 5;
    // The rim and the gap lie inside the shape's edge, or around it (for
    // strokes too thin to give up any width).
    bool outside = false;
    Rgb rim_colour, glow_colour;
    // Fill colour by position within the lettering box, each 0..1.
    std::function<Rgb(double across, double down)> fill;
};

void paint_lettering(Canvas& canvas, const Lettering& letters, const LetteringStyle& style) {
    const double fill_edge = style.rim + style.gap;
    const std::int32_t reach = static_cast<std::int32_t>(std::ceil(style.glow + (style.outside ? fill_edge : 0))) + 1;
    const std::int32_t x0 = std::max(0, letters.box.left - reach), x1 = std::min(canvas.width() - 1, letters.box.right + reach);
    const std::int32_t y0 = std::max(0, letters.box.top - reach), y1 = std::min(canvas.height() - 1, letters.box.bottom + reach);

    // Depth of every pixel centre inside the letters, in pixels (negative
    // outside), and the bevel it gives the fill.
    Grid<double> depth(canvas.width(), canvas.height(), -1e9);
    Grid<double> height(canvas.width(), canvas.height());
    for (std::int32_t y = y0; y <= y1; ++y) {
        for (std::int32_t x = x0; x <= x1; ++x) {
            const double d = -letters.shape.distance(letters.to_shape({x + 0.5, y + 0.5})) * letters.pixels_per_unit +
                             (style.outside ? fill_edge : 0);
            depth.at(x, y) = d;
            height.at(x, y) = style.bevel * smoothstep(fill_edge, fill_edge + style.bevel * 1.6, d);
        }
    }

    const double box_w = letters.box.right - letters.box.left + 1, box_h = letters.box.bottom - letters.box.top + 1;
    for (std::int32_t y = y0; y <= y1; ++y) {
        for (std::int32_t x = x0; x <= x1; ++x) {
            const double d = depth.at(x, y);
            if (d <= -style.glow) continue;  // stays the transparent key
            // Coverage of the letter, of the part inside the rim and of the
            // fill, each with a one-pixel soft edge.
            const double in_letter = clamp01(d + 0.5);
            const double in_gap = clamp01(d - style.rim + 0.5);
            const double in_fill = clamp01(d - fill_edge + 0.5);
            const double fade = 1 + std::min(d, 0.0) / style.glow;
            Rgb colour = style.glow_colour * (fade * fade) * (1 - in_letter) + style.rim_colour * (in_letter - in_gap);
            if (in_fill > 0) {
                const Light light = light_height_field(height, x, y, 16);
                const Rgb fill = style.fill((x - letters.box.left + 0.5) / box_w, (y - letters.box.top + 0.5) / box_h);
                const Rgb lit = fill * (0.45 + 0.55 * light.diffuse) + Rgb{255, 255, 255} * (0.45 * light.specular);
                colour = colour + lit * in_fill;
            }
            canvas.plot(x, y, opaque(colour));
        }
    }
}

// The block letters of the group's name on a 120-unit cap height: strokes
// 24 units wide, outer corners cut at 45 degrees.
struct BlockLetter {
    double width;
    std::vector<std::vector<Point>> contours;
};

std::vector<BlockLetter> group_name_letters() {
    return {
        {84,  // K
         {{{12, 0}, {24, 0}, {24, 44}, {54, 0}, {84, 0}, {43, 60}, {84, 120}, {54, 120}, {24, 76}, {24, 120},
           {12, 120}, {0, 108}, {0, 12}}}},
        {72,  // E
         {{{12, 0}, {72, 0}, {72, 24}, {24, 24}, {24, 48}, {62, 48}, {62, 72}, {24, 72}, {24, 96}, {72, 96},
           {72, 120}, {12, 120}, {0, 108}, {0, 12}}}},
        {66,  // L
         {{{12, 0}, {24, 0}, {24, 96}, {66, 96}, {66, 120}, {12, 120}, {0, 108}, {0, 12}}}},
        {88,  // V
         {{{0, 0}, {26, 0}, {44, 72}, {62, 0}, {88, 0}, {58, 120}, {30, 120}}}},
        {84,  // O
         {{{12, 0}, {72, 0}, {84, 12}, {84, 108}, {72, 120}, {12, 120}, {0, 108}, {0, 12}},
          {{30, 24}, {54, 24}, {60, 30}, {60, 90}, {54, 96}, {30, 96}, {24, 90}, {24, 30}}}},
        {82,  // R
         {{{12, 0}, {70, 0}, {82, 12}, {82, 60}, {72, 70}, {82, 120}, {58, 120}, {48, 72}, {24, 72}, {24, 120},
           {12, 120}, {0, 108}, {0, 12}},
          {{24, 24}, {52, 24}, {58, 30}, {58, 42}, {52, 48}, {24, 48}}}},
        {84,  // N
         {{{0, 12}, {12, 0}, {30, 0}, {60, 70}, {60, 0}, {72, 0}, {84, 12}, {84, 108}, {72, 120}, {54, 120},
           {24, 50}, {24, 120}, {12, 120}, {0, 108}}}},
    };
}

}  // namespace

Pixels picture_logo() {
    constexpr double cap = 120, spacing = 12, slant = 0.2;
    // Screen rows 174 to 302, glow included, once placed at (0, 120): clear
    // of the slogan above, which the second logo puts in rows 86 to 141.
    constexpr double top = 62, margin = 10;

    Lettering letters;
    double pen = 0;
    for (const BlockLetter& letter : group_name_letters()) {
        for (const auto& contour : letter.contours) {
            std::vector<Point> moved;
            for (const Point& p : contour) moved.push_back({p.x + pen, p.y});
            letters.shape.add_contour(moved);
        }
        pen += letter.width + spacing;
    }
    const double units_wide = pen - spacing + slant * cap;
    const double scale = (logo_width - 2 * margin) / units_wide;
    const double left = margin;
    letters.pixels_per_unit = scale;
    letters.to_shape = [=](Point p) {
        const double sy = (p.y - top) / scale;
        return Point{(p.x - left) / scale - slant * (cap - sy), sy};
    };
    letters.box = {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                   static_cast<std::int32_t>(std::ceil(left + units_wide * scale)) - 1,
                   static_cast<std::int32_t>(std::ceil(top + cap * scale)) - 1};

    LetteringStyle style;
    style.rim = 2;
    style.gap = 1.6;
    style.glow = 8;
    style.bevel = 6;
    style.rim_colour = {238, 226, 196};
    style.glow_colour = {70, 34, 10};
    style.fill = [](double, double down) {
        const Rgb gold{214, 170, 52}, orange{206, 92, 18}, ember{150, 28, 44};
        return down < 0.5 ? mix(gold, orange, smoothstep(0, 0.5, down)) : mix(orange, ember, smoothstep(0.5, 1, down));
    };

    Canvas logo(logo_width, logo_height);
    paint_lettering(logo, letters, style);
    return logo.pixels();
}

Pixels picture_logo2() {
    // Only the left 480 columns are ever on the screen (placed at (160, 60)).
    constexpr std::int32_t seen_width = 480;
    constexpr double top = 34;
    constexpr std::string_view slogan = "NOW IN COLOUR!";

    // Each glyph in a cell one column wider than the font's, so that the
    // outlines drawn around the ink keep the letters apart, then smoothed and
    // drawn tall and narrow.
    const auto glyphs = builtin_text_mask(slogan);
    Grid<std::uint8_t> spaced(static_cast<std::int32_t>(slogan.size()) * 9, 8);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < glyphs.width; ++x) spaced.at(x / 8 * 9 + x % 8 + 1, y) = glyphs.at(x, y);
    const auto& mask = spaced;
    constexpr double cell_w = 3.6, cell_h = 5.6;
    const double wide = mask.width * cell_w;
    const double left = std::floor((seen_width - wide) / 2);

    Lettering letters;
    letters.shape = mask_outline(mask, {0, 0}, cell_w, cell_h);
    letters.pixels_per_unit = 1;
    letters.to_shape = [=](Point p) { return Point{p.x - left, p.y - top}; };
    const Point low = letters.shape.low(), high = letters.shape.high();
    letters.box = {static_cast<std::int32_t>(left + low.x), static_cast<std::int32_t>(top + low.y),
                   static_cast<std::int32_t>(left + high.x) - 1, static_cast<std::int32_t>(top + high.y) - 1};

    LetteringStyle style;
    style.rim = 1.4;
    style.gap = 1.1;
    style.outside = true;
    style.glow = 6;
    style.bevel = 2;
    style.rim_colour = {226, 232, 250};
    style.glow_colour = {30, 34, 60};
    style.fill = [](double across, double down) {
        // A rainbow along the line, brighter at the top of the letters.
        const Rgb hue{0.5 + 0.5 * cos_turns(across * 0.85), 0.5 + 0.5 * cos_turns(across * 0.85 - 1.0 / 3),
                      0.5 + 0.5 * cos_turns(across * 0.85 - 2.0 / 3)};
        return hue * (190 * (1.1 - 0.45 * down)) + Rgb{16, 16, 16};
    };

    Canvas logo(logo_width, logo_height);
    paint_lettering(logo, letters, style);
    return logo.pixels();
}

}  // namespace tools
