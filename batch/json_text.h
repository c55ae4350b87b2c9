#pragma once
// Texts as JSON strings, valid whatever bytes they hold. File names on Linux are bytes, not UTF-8:
// a byte that does not belong to a well-formed UTF-8 sequence becomes U+FFFD in the string, and the
// exact bytes are given beside it in a field of their own, as hexadecimal digits.

#include <string>
#include <string_view>
#include <vector>

namespace varnex::batch {

/// True when the text is well-formed UTF-8 (no overlong forms, surrogates or values beyond U+10FFFF).
bool is_utf8(std::string_view s);

/// The text as a JSON string literal, quotes included; control characters escaped, bytes that are not
/// UTF-8 replaced by U+FFFD.
std::string json_string(std::string_view s);

/// `,"NAME_bytes":"HEX"` with the bytes of a text that is not UTF-8; empty for a UTF-8 text.
std::string json_raw_field(std::string_view name, std::string_view s);
/// `,"NAME_bytes":[...]` for a list of texts of which one at least is not UTF-8: the hexadecimal
/// bytes of each of those, null for the others; empty when all are UTF-8.
std::string json_raw_field(std::string_view name, const std::vector<std::string>& texts);

}  // namespace varnex::batch
