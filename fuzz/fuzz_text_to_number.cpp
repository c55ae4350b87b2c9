// Text to number: text_to_single must accept exactly the texts of the rule (blanks around, a sign,
// digits with one decimal separator, an exponent) and give the nearest float; text_to_int16 must
// round that number half to even and refuse what lies outside -32768..32767.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>

#include "core/convert.h"
#include "core/errors.h"
#include "fuzz/fuzz_support.h"

using namespace varnex;
using namespace varnex::fuzz;

namespace {

// The integer nearest to the decimal text (already known to follow the rule), a half to the even
// neighbour, worked out on the decimal digits themselves; nothing outside -32768..32767.
std::optional<int> nearest_int16(const std::string& text) {
    std::size_t i = text.find_first_not_of(' ');
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    std::string digits;
    long point = -1;
    for (; i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'); ++i) {
        if (text[i] == '.') {
            point = static_cast<long>(digits.size());
        } else {
            digits += text[i];
        }
    }
    if (point < 0) point = static_cast<long>(digits.size());
    long exp = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool neg_exp = false;
        if (text[i] == '+' || text[i] == '-') neg_exp = text[i++] == '-';
        for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            exp = std::min(exp * 10 + (text[i] - '0'), 1000000L);
        if (neg_exp) exp = -exp;
    }
    if (digits.find_first_not_of('0') == std::string::npos) return 0;
    const std::size_t lead = digits.find_first_not_of('0');
    digits.erase(0, lead);
    point -= static_cast<long>(lead);
    // The decimal point moves by the exponent: digits before it are the integer part.
    const long q = point + exp;
    std::string whole, frac;
    if (q <= 0) {
        frac = std::string(static_cast<std::size_t>(std::min(-q, 1000000L)), '0') + digits;
    } else if (q >= static_cast<long>(digits.size())) {
        if (q > 10) return std::nullopt;
        whole = digits + std::string(static_cast<std::size_t>(q) - digits.size(), '0');
    } else {
        whole = digits.substr(0, static_cast<std::size_t>(q));
        frac = digits.substr(static_cast<std::size_t>(q));
    }
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    if (whole.size() > 6) return std::nullopt;
    long v = whole.empty() ? 0 : std::stol(whole);
    if (!frac.empty() && frac[0] >= '5') {
        const bool half = frac[0] == '5' && frac.find_first_not_of('0', 1) == std::string::npos;
        if (!half || v % 2 == 1) ++v;
    }
    if (negative) v = -v;
    if (v < -32768 || v > 32767) return std::nullopt;
    return static_cast<int>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<float> want = number_of(text);
    std::optional<float> got;
    try {
        got = text_to_single(text);
    } catch (const RunError&) {
    }
    FUZZ_CHECK(got.has_value() == want.has_value(), text);
    if (got) FUZZ_CHECK(std::memcmp(&*got, &*want, 4) == 0, text);

    std::optional<int> got16;
    try {
        got16 = text_to_int16(text);
    } catch (const RunError&) {
    }
    const std::optional<int> want16 = want ? nearest_int16(text) : std::nullopt;
    FUZZ_CHECK(got16 == want16, text);
    return 0;
}
