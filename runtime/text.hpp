// Text values: 8-bit character strings with a length, copied on assignment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace runtime {

class Text {
public:
    Text() = default;
    Text(const char* literal) : chars_(literal != nullptr ? literal : "") {}  // NOLINT: literals are texts
    explicit Text(std::string_view chars) : chars_(chars) {}

    std::string_view view() const { return chars_; }
    const std::string& str() const { return chars_; }
    bool empty() const { return chars_.empty(); }
    friend bool operator==(const Text&, const Text&) = default;

private:
    std::string chars_;
};

// The first min(count, length) characters; the empty text when count <= 0.
Text text_left(const Text& text, std::int32_t count);
// Number of characters; 0 for the empty text.
std::int32_t text_length(const Text& text);
// The characters of a followed by those of b.
Text text_concat(const Text& a, const Text& b);
// Decimal: '-' for negatives, then the digits without leading zeros; no
// space, no '+'. At most 11 characters ("-2147483648").
Text int_to_text(std::int32_t value);

}  // namespace runtime
