// The four sample systems of a first start. The generator starts from the same state at every call,
// so every generation writes the same numbers.
#include "commands/sample_generator.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"
#include "files/replace_file.h"

namespace varnex {

namespace {

// A single-precision number in [0, 1) from the top 24 bits of one draw: every value is a multiple
// of 2^-24, exactly representable, and the largest lies below 1.
float next_unit(std::mt19937& gen) { return static_cast<float>(gen() >> 8) * 0x1p-24f; }

}  // namespace

void generate_samples(App& app) {
    std::mt19937 gen;  // default seed: the same fixed start state at every generation
    std::string line;
    char buf[32];
    for (int k = 1; k <= 4; ++k) {
        const std::string path = app.app_folder + "/data/sample" + std::to_string(k) + ".txt";
        app.st.N = int16_or_overflow(std::lround(std::pow(4.0, k)));
        const int n = app.st.N;
        // Written beside its name and put in place only when whole: a full disk leaves no cut-off
        // sample behind.
        ReplacingFile f(path);
        // i: the equation; j: the coefficients a(i,1..n), then b(i) at j = n + 1.
        for (int i = 1; i <= n; ++i) {
            line.clear();
            for (int j = 1; j <= n + 1; ++j) {
                const float value = static_cast<float>(static_cast<double>(next_unit(gen)) * 1000.0);
                line.append(buf, single_to_text(value, buf));
                line.push_back(' ');
            }
            line.append("\r\n");
            f.write(line);
        }
        f.commit();
    }
}

void discard_samples(App& app) {
    for (int k = 1; k <= 4; ++k) {
        const std::string path = app.app_folder + "/data/sample" + std::to_string(k) + ".txt";
        ::unlink(path.c_str());
    }
    // Only an empty folder goes: anything else in it stays, and so does the folder then.
    ::rmdir((app.app_folder + "/data").c_str());
}

}  // namespace varnex
