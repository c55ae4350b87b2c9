#include "files/imported_system.h"

#include <algorithm>
#include <cmath>

#include "core/convert.h"
#include "core/exact.h"
#include "core/grid_layout.h"

namespace varnex {

ImportRefusal::ImportRefusal(std::string file, long line, long column, std::string why)
    : std::runtime_error(why), file_(std::move(file)), line_(line), column_(column), why_(std::move(why)) {}

std::string ImportRefusal::where_and_why() const {
    std::string s = file_;
    if (line_ > 0) s.append(", line ").append(std::to_string(line_));
    if (line_ > 0 && column_ > 0) s.append(", column ").append(std::to_string(column_));
    return s.append(": ").append(why_);
}

OrderRefusal::OrderRefusal(std::string file, long line, long long order)
    : ImportRefusal(std::move(file), line,
                    "order " + std::to_string(order) + " is more than the grid can hold (at most " +
                        std::to_string(kMaxImportOrder) + ")") {
    order_ = order;
}

void ImportedSystem::compute_b_as_row_sums(const std::string& file) {
    const std::size_t un = static_cast<std::size_t>(n);
    // sums[i-1] is row i's running sum over j = 1..n in column order. A column-major matrix adds its
    // columns one after the other, which keeps that order for every row. An absent (zero) coefficient
    // leaves a sum that starts at +0 unchanged, so the sparse form only adds the listed ones. Once a
    // sum is an infinity or a NaN it stays one, so it is checked at the end.
    std::vector<float> sums(un, 0.0f);
    if (sparse) {
        for (const Entry& e : entries)
            sums[static_cast<std::size_t>(e.row - 1)] =
                mul_add(e.value, 1.0f, sums[static_cast<std::size_t>(e.row - 1)]);
    } else if (column_major) {
        for (std::size_t j = 0; j < un; ++j) {
            const float* col = dense_values.data() + j * un;
            for (std::size_t i = 0; i < un; ++i) sums[i] = mul_add(col[i], 1.0f, sums[i]);
        }
    } else {
        for (std::size_t i = 0; i < un; ++i) {
            const float* row = dense_values.data() + i * un;
            for (std::size_t j = 0; j < un; ++j) sums[i] = mul_add(row[j], 1.0f, sums[i]);
        }
    }
    std::vector<std::string> texts(un);
    char buf[32];
    for (std::size_t i = 0; i < un; ++i) {
        if (!std::isfinite(sums[i]))
            throw ImportRefusal(file, 0, "b = A·1 leaves the single-precision range in row " + std::to_string(i + 1));
        texts[i].assign(buf, single_to_exact_text(sums[i], buf));
    }
    b.assign(un, {});
    for (std::size_t i = 0; i < un; ++i) b[i] = keep(std::move(texts[i]));
    b_computed = true;
}

namespace {
// Rows of a band written together from a column-major matrix: 128 rows of an order-2000 grid keep
// their slots (about 1 MB) in the second-level cache while the band is written.
constexpr std::size_t kBand = 128;
}  // namespace

void ImportedSystem::write_cells(GridModel& grid) const {
    const std::size_t un = static_cast<std::size_t>(n);
    const int b_col = int16_or_overflow(b_column(n));
    // A file whose decimal mark is not the user's separator has its texts rewritten on the way, so
    // that the solve commands read them as the import did.
    const char sep = decimal_separator();
    const bool rewrite = mark != sep;
    std::string scratch;
    auto put = [&](int row, int col, std::string_view t) {
        if (rewrite && t.find(mark) != std::string_view::npos) {
            scratch.assign(t);
            std::replace(scratch.begin(), scratch.end(), mark, sep);
            t = scratch;
        }
        grid.set_text(row, col, t);
    };
    if (!offsets.empty()) {
        // Bands of rows, each written column by column: a band's stretch of each column lies together
        // in the file, and the band's grid rows stay in cache while it is written.
        for (std::size_t r0 = 0; r0 < un; r0 += kBand) {
            const std::size_t r1 = std::min(un, r0 + kBand);
            for (std::size_t j = 0; j < un; ++j) {
                const uint32_t* off = offsets.data() + j * un;
                const uint16_t* len = lengths.data() + j * un;
                for (std::size_t i = r0; i < r1; ++i)
                    put(static_cast<int>(i + 1), a_column(static_cast<int>(j + 1)), text.substr(off[i], len[i]));
            }
            for (std::size_t i = r0; i < r1; ++i) put(static_cast<int>(i + 1), b_col, b[i]);
        }
        return;
    }
    if (column_major) {
        // The same bands over the views of a mirrored array.
        for (std::size_t r0 = 0; r0 < un; r0 += kBand) {
            const std::size_t r1 = std::min(un, r0 + kBand);
            for (std::size_t j = 0; j < un; ++j)
                for (std::size_t i = r0; i < r1; ++i)
                    put(static_cast<int>(i + 1), a_column(static_cast<int>(j + 1)), dense[j * un + i]);
            for (std::size_t i = r0; i < r1; ++i) put(static_cast<int>(i + 1), b_col, b[i]);
        }
        return;
    }
    std::size_t next = 0;
    // A sparse row writes "0" into every coefficient column between its listed coefficients.
    for (int i = 1; i <= n; ++i) {
        if (sparse) {
            for (int j = 1; j <= n; ++j) {
                const bool listed = next < entries.size() && entries[next].row == i && entries[next].col == j;
                put(i, a_column(j), listed ? entries[next++].text : std::string_view("0"));
            }
        } else {
            const std::string_view* row = dense.data() + static_cast<std::size_t>(i - 1) * n;
            for (int j = 1; j <= n; ++j) put(i, a_column(j), row[j - 1]);
        }
        put(i, b_col, b[static_cast<std::size_t>(i - 1)]);
    }
}

}  // namespace varnex
