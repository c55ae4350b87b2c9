#include "core/order_notes.h"

#include <cmath>
#include <exception>

#include "core/convert.h"

namespace varnex {

namespace {

constexpr std::string_view kRoundedPrefix = "N = ";
constexpr std::string_view kRoundedMiddle = " was rounded to order ";

}  // namespace

std::string order_limit_note(long long order) {
    return "order " + std::to_string(order) + " refused: " + kOrderLimitText;
}

std::string rounded_order_note(std::string_view typed, int order) {
    float value = 0.0f;
    try {
        value = text_to_single(typed);
    } catch (const std::exception&) {
        return {};
    }
    if (value == std::nearbyint(value)) return {};
    // The text as the user typed it, without the blanks the conversion ignores.
    while (!typed.empty() && typed.front() == ' ') typed.remove_prefix(1);
    while (!typed.empty() && typed.back() == ' ') typed.remove_suffix(1);
    return std::string(kRoundedPrefix) + std::string(typed) + std::string(kRoundedMiddle) + std::to_string(order);
}

bool is_order_note(std::string_view status) {
    return status.find(kOrderLimitText) != std::string_view::npos ||
           (status.starts_with(kRoundedPrefix) && status.find(kRoundedMiddle) != std::string_view::npos);
}

long long order_above_limit(std::string_view typed) {
    try {
        const float value = text_to_single(typed);
        // The order the integer conversion would give: a half goes to the even neighbour.
        const double rounded = std::nearbyint(static_cast<double>(value));
        if (rounded > kMaxMemoryOrder) return rounded < 1e18 ? static_cast<long long>(rounded) : 0;
    } catch (const std::exception&) {
    }
    return 0;
}

}  // namespace varnex
