// The intro's own words: the window title's credit line and the scroller text.
#pragma once

#include <string_view>

namespace intro {

// Name (13 characters), six spaces, e-mail (18), six spaces, telephone (16).
inline constexpr std::string_view credit_line = "Ilka Vornholt      ilka.v@example.org      tel 212-555-0147";
static_assert(credit_line.size() == 59);

// Eight spaces, then name, town and country, e-mail, announcement, date and
// disclaimer, separated by runs of six to eight spaces, and one trailing
// space. Only codes 32 to 121 occur, all inside the scroller font.
inline constexpr std::string_view scroll_text =
    "        ILKA VORNHOLT OF KELVORN, TRONDHEIM, NORWAY       WRITE TO ilka.v@example.org      "
    "KELVORN PRESENTS ITS FIRST INTRO FOR THE WINTER PARTY. MORE TO COME SOON!!!       "
    "MADE IN DECEMBER 2026        NO PIXELS WERE HARMED IN THE MAKING OF THIS INTRO. ALL NAMES ARE INVENTED. ";
static_assert(scroll_text.size() == 277);

}  // namespace intro
