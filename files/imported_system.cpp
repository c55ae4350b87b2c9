#include "files/imported_system.h"

#include <algorithm>
#include <cmath>

#include "core/convert.h"
#include "core/exact.h"

namespace varnex {

ImportRefusal::ImportRefusal(std::string file, long line, std::string why)
    : std::runtime_error(why), file_(std::move(file)), line_(line), why_(std::move(why)) {}

long line_of(std::string_view text, const char* at) {
    const std::size_t upto = static_cast<std::size_t>(at - text.data());
    return 1 + static_cast<long>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(upto), '\n'));
}

void ImportedSystem::compute_b_as_row_sums(const std::string& file) {
    b.assign(static_cast<std::size_t>(n), {});
    std::vector<std::string> texts(static_cast<std::size_t>(n));
    std::size_t next = 0;  // the first sparse entry of row i
    char buf[32];
    // Row i's running sum over j = 1..n in column order; an absent (zero) coefficient leaves a sum
    // that starts at +0 unchanged, so the sparse form only adds the listed ones.
    for (int i = 1; i <= n; ++i) {
        float s = 0.0f;
        if (sparse) {
            for (; next < entries.size() && entries[next].row == i; ++next) s = mul_add(entries[next].value, 1.0f, s);
        } else {
            const float* row = dense_values.data() + static_cast<std::size_t>(i - 1) * n;
            for (int j = 0; j < n; ++j) {
                s = mul_add(row[j], 1.0f, s);
                if (!std::isfinite(s)) break;
            }
        }
        if (!std::isfinite(s))
            throw ImportRefusal(file, 0, "b = A·1 leaves the single-precision range in row " + std::to_string(i));
        texts[static_cast<std::size_t>(i - 1)].assign(buf, single_to_text(s, buf));
    }
    for (int i = 0; i < n; ++i) b[static_cast<std::size_t>(i)] = keep(std::move(texts[static_cast<std::size_t>(i)]));
    b_computed = true;
}

void ImportedSystem::write_cells(GridModel& grid) const {
    const int b_col = i16(2 * n + 1);
    std::size_t next = 0;
    // Row i of the layout: a(i,j) in column 2j - 1, b(i) in column 2n + 1. A sparse row writes "0"
    // into every column between its listed coefficients.
    for (int i = 1; i <= n; ++i) {
        if (sparse) {
            for (int j = 1; j <= n; ++j) {
                const bool listed = next < entries.size() && entries[next].row == i && entries[next].col == j;
                grid.set_text(i, 2 * j - 1, listed ? entries[next++].text : std::string_view("0"));
            }
        } else {
            const std::string_view* row = dense.data() + static_cast<std::size_t>(i - 1) * n;
            for (int j = 1; j <= n; ++j) grid.set_text(i, 2 * j - 1, row[j - 1]);
        }
        grid.set_text(i, b_col, b[static_cast<std::size_t>(i - 1)]);
    }
}

}  // namespace varnex
