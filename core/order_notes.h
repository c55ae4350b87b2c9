#pragma once
// Status notes about the order of a system: why an order was refused, and to which order a typed
// fraction was rounded. The refusal itself stays the message box of the refusing command; the note
// tells what the box cannot: the largest order memory mode holds, and where larger systems go.

#include <string>
#include <string_view>

namespace varnex {

/// The largest order whose system layout the grid can index with 16-bit columns (2N + 4 <= 32767).
inline constexpr int kMaxMemoryOrder = 16381;

/// The part of every order-limit note that says where larger systems go.
inline constexpr const char* kOrderLimitText =
    "at most 16381 equations in memory; File \u25b8 Connect solves larger systems";

/// "order 16382 refused: at most 16381 equations in memory; File ▸ Connect solves larger systems".
std::string order_limit_note(long long order);

/// The note for a txtN text that held a fraction and was rounded to `order`, or empty when the text
/// is a whole number (or no number at all).
std::string rounded_order_note(std::string_view typed, int order);

/// True for a note made by this module: the window clears such a note when another system has been
/// set up, so that it never speaks of an order that is no longer in question.
bool is_order_note(std::string_view status);

/// The value of a txtN text that converts as a number but lies above the largest memory order (such
/// as 16382 or 40000), or 0 when it does not.
long long order_above_limit(std::string_view typed);

}  // namespace varnex
