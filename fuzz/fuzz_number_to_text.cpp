// Number to text: for every finite float, single_to_text must give C's "%.7G" (seven significant
// digits, no trailing zeros, exponent with a sign and at least two digits), "0" for both zeros, the
// same text through both of its forms, and a text that reads back through text_to_single to the
// float that the seven digits name.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/convert.h"
#include "fuzz/fuzz_support.h"

using namespace varnex;
using namespace varnex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    float v;
    std::memcpy(&v, data, 4);
    if (!std::isfinite(v)) return 0;
    char want[64];
    std::snprintf(want, sizeof want, "%.7G", static_cast<double>(v));
    if (v == 0.0f) std::strcpy(want, "0");
    const std::string got = single_to_text(v);
    FUZZ_CHECK(got == want, got + " vs " + want);
    char buf[32];
    FUZZ_CHECK(std::string(buf, single_to_text(v, buf)) == got, got);
    const std::optional<float> back = number_of(got);
    FUZZ_CHECK(back.has_value(), got);
    FUZZ_CHECK(text_to_single(got) == *back, got);
    // Seven significant digits hold the value to half a unit in the seventh digit, and reading back
    // adds at most one spacing of the floats there (large among the denormals).
    const double ulp = static_cast<double>(std::nextafter(std::fabs(v), INFINITY)) - std::fabs(v);
    FUZZ_CHECK(std::fabs(static_cast<double>(*back) - v) <= std::fabs(static_cast<double>(v)) * 5.1e-7 + ulp, got);
    return 0;
}
