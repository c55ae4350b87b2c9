#pragma once
// The text system file and the solution file: line splitting and the solution name of a path.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnex {

/// Splits a line into blank-separated tokens (U+0020 only; a tab is part of a token): m tokens at
/// y[1..m]. y is resized to 0..m keeping its contents; a line without tokens gives m = 0 and leaves
/// y untouched. s is the working copy. More than 32767 tokens raise RunError(Overflow).
void get_row(std::string& s, int16_t& m, std::vector<std::string>& y);

/// The text after the first "data" of the path and the one character after it; the path from its
/// fifth character on when it holds no "data"; empty when that lies beyond the end.
std::string solution_name(std::string_view path);

}  // namespace varnex
