#pragma once
// A check that a text holds a part, which shows the whole text when it does not.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace varnex::test {

/// Whether `text` holds `part`; on failure the message names the part and shows the whole text.
inline ::testing::AssertionResult holds(std::string_view text, std::string_view part) {
    if (text.find(part) != std::string_view::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}

}  // namespace varnex::test
