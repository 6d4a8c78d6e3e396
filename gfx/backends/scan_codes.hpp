// Internal: the key numbers of the window systems mapped onto the key table's
// numbering, the PC keyboard's first scan-code set (Escape is 1).
//
// A key that sends a two-byte (extended) code on a PC keyboard counts under
// its one-byte twin: Right Ctrl under Left Ctrl (0x1D), keypad Enter under
// Enter (0x1C), the arrow block under the keypad keys it shares codes with
// (Up 0x48, Delete 0x53, ...). Keys without a code in 1..127 (Pause, media
// keys) map to 0, which means "not in the table".
#pragma once

#include <cstdint>

namespace gfx::detail {

// Linux input event codes (an X server's keycode minus 8 under the evdev
// keymap). Codes 1 to 88 are the first-set codes themselves.
constexpr std::uint8_t scan_code_from_linux(int code) {
    if (code >= 1 && code <= 88) return static_cast<std::uint8_t>(code);
    switch (code) {
        case 89: return 0x73;   // Ro
        case 92: return 0x79;   // Henkan
        case 93: return 0x70;   // Katakana/Hiragana
        case 94: return 0x7B;   // Muhenkan
        case 96: return 0x1C;   // keypad Enter
        case 97: return 0x1D;   // right Ctrl
        case 98: return 0x35;   // keypad slash
        case 99: return 0x37;   // Print Screen / SysRq
        case 100: return 0x38;  // right Alt
        case 102: return 0x47;  // Home
        case 103: return 0x48;  // Up
        case 104: return 0x49;  // Page Up
        case 105: return 0x4B;  // Left
        case 106: return 0x4D;  // Right
        case 107: return 0x4F;  // End
        case 108: return 0x50;  // Down
        case 109: return 0x51;  // Page Down
        case 110: return 0x52;  // Insert
        case 111: return 0x53;  // Delete
        case 117: return 0x59;  // keypad equals
        case 121: return 0x7E;  // keypad comma
        case 124: return 0x7D;  // Yen
        case 125: return 0x5B;  // left logo key
        case 126: return 0x5C;  // right logo key
        case 127: return 0x5D;  // menu key
        default: break;
    }
    if (code >= 183 && code <= 193) return static_cast<std::uint8_t>(0x64 + (code - 183));  // F13..F23
    if (code == 194) return 0x76;                                                         // F24
    return 0;
}

// USB HID keyboard usages (page 7), the numbering of SDL_Scancode.
constexpr std::uint8_t scan_code_from_usb(int usage) {
    // A..Z (usages 4..29) follow the QWERTY rows, not the alphabet.
    constexpr std::uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                          0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                          0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    // Usages 30..69: 1..9, 0, Enter, Escape, Backspace, Tab, Space, - = [ ] \,
    // the ISO key left of Enter, ; ' ` , . /, Caps Lock, F1..F12.
    constexpr std::uint8_t row[40] = {0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                                      0x1C, 0x01, 0x0E, 0x0F, 0x39, 0x0C, 0x0D, 0x1A, 0x1B, 0x2B,
                                      0x2B, 0x27, 0x28, 0x29, 0x33, 0x34, 0x35, 0x3A, 0x3B, 0x3C,
                                      0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x57, 0x58};
    // Usages 70..99: Print Screen, Scroll Lock, Pause, Insert, Home, Page Up,
    // Delete, End, Page Down, Right, Left, Down, Up, Num Lock, keypad / * - +
    // Enter 1..9 0 and the keypad's decimal point.
    constexpr std::uint8_t block[30] = {0x37, 0x46, 0x00, 0x52, 0x47, 0x49, 0x53, 0x4F, 0x51, 0x4D,
                                        0x4B, 0x50, 0x48, 0x45, 0x35, 0x37, 0x4A, 0x4E, 0x1C, 0x4F,
                                        0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49, 0x52, 0x53};
    if (usage >= 4 && usage <= 29) return letters[usage - 4];
    if (usage >= 30 && usage <= 69) return row[usage - 30];
    if (usage >= 70 && usage <= 99) return block[usage - 70];
    if (usage >= 104 && usage <= 114) return static_cast<std::uint8_t>(0x64 + (usage - 104));  // F13..F23
    switch (usage) {
        case 100: return 0x56;  // the ISO key right of Left Shift
        case 101: return 0x5D;  // menu key
        case 103: return 0x59;  // keypad equals
        case 115: return 0x76;  // F24
        case 133: return 0x7E;  // keypad comma
        case 135: return 0x73;  // Ro
        case 136: return 0x70;  // Katakana/Hiragana
        case 137: return 0x7D;  // Yen
        case 138: return 0x79;  // Henkan
        case 139: return 0x7B;  // Muhenkan
        case 224: return 0x1D;  // left Ctrl
        case 225: return 0x2A;  // left Shift
        case 226: return 0x38;  // left Alt
        case 227: return 0x5B;  // left logo key
        case 228: return 0x1D;  // right Ctrl
        case 229: return 0x36;  // right Shift
        case 230: return 0x38;  // right Alt
        case 231: return 0x5C;  // right logo key
        default: return 0;
    }
}

}  // namespace gfx::detail
