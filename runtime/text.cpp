#include "runtime/text.hpp"

#include <charconv>

namespace runtime {

Text text_left(const Text& text, std::int32_t count) {
    if (count <= 0 || text.empty()) return {};
    return Text(text.view().substr(0, static_cast<std::size_t>(count)));
}

std::int32_t text_length(const Text& text) { return static_cast<std::int32_t>(text.view().size()); }

Text text_concat(const Text& a, const Text& b) {
    std::string joined;
    joined.reserve(a.view().size() + b.view().size());
    joined.append(a.view());
    joined.append(b.view());
    return Text(std::string_view(joined));
}

Text int_to_text(std::int32_t value) {
    char digits[12];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    (void)error;  // 12 bytes hold every 32-bit value
    return Text(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

}  // namespace runtime
