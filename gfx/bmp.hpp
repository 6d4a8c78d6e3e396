// Loading BMP pictures (and raw memory dumps) into an Image or onto the
// screen's work page (destination nullptr).
#pragma once

#include <string_view>

#include "gfx/image.hpp"
#include "gfx/types.hpp"

namespace gfx {

Status image_load_bmp(std::string_view file_name, Image* destination);

}  // namespace gfx
