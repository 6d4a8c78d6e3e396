// The background: rings of ripples spreading from the middle, embossed and
// lit from the upper left, in dark blues and violets. The demo scene draws
// it twice at different offsets, the second time added to the first, so the
// two sets of rings cross into moving interference patterns; each channel
// stays at most 120 so that their sum does not wash out.
#include <algorithm>
#include <cmath>

#include "tools/pictures.hpp"

namespace tools {

Pixels picture_background() {
    constexpr std::int32_t width = 800, height = 600;
    constexpr Point centre{400, 300};
    constexpr double wavelength = 34;
    constexpr double ceiling = 118;  // per channel, where the highlights peak

    Grid<double> ripples(width, height);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const double dx = x + 0.5 - centre.x, dy = y + 0.5 - centre.y;
            ripples.at(x, y) = 5 * cos_turns(std::sqrt(dx * dx + dy * dy) / wavelength);
        }
    }

    Canvas back(width, height);
    const Rgb deep{3, 2, 9}, violet{34, 12, 60}, blue{8, 22, 62}, sheen{30, 34, 52};
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const double dx = x + 0.5 - centre.x, dy = y + 0.5 - centre.y;
            const double r = std::sqrt(dx * dx + dy * dy);
            const Light light = light_height_field(ripples, x, y, 10);
            const double crest = 0.5 + 0.5 * ripples.at(x, y) / 5;
            // Violet near the middle turning blue outward, slowly, so the
            // hue itself also tells the two copies apart.
            const Rgb tint = mix(violet, blue, 0.5 + 0.5 * cos_turns(r / 520));
            const Rgb c = deep + tint * (0.25 + 0.55 * crest) * (0.35 + 0.65 * light.diffuse) + sheen * (0.5 * light.specular);
            back.plot(x, y, opaque({std::min(c.r, ceiling), std::min(c.g, ceiling), std::min(c.b, ceiling)}));
        }
    }
    return back.pixels();
}

}  // namespace tools
