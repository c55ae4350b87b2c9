#include "core/matrix_bins.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "core/convert.h"
#include "core/errors.h"
#include "core/grid_layout.h"
#include "core/grid_model.h"
#include "core/row_file.h"
#include "core/row_stream.h"

namespace varnex {

MatrixBins::MatrixBins(int row_first, int row_count, int col_first, int col_count, int max_bins) {
    if (row_count <= 0 || col_count <= 0 || max_bins <= 0) return;
    rows_ = {row_first, row_count, std::min(row_count, max_bins)};
    cols_ = {col_first, col_count, std::min(col_count, max_bins)};
    col_cell_.resize(static_cast<std::size_t>(col_count));
    for (int k = 0; k < col_count; ++k) col_cell_[static_cast<std::size_t>(k)] = cols_.cell_of(col_first + k);
    cells_.assign(static_cast<std::size_t>(rows_.bins) * static_cast<std::size_t>(cols_.bins), 0.0f);
}

void MatrixBins::take(float& cell, float v) {
    const float m = std::fabs(v);
    if (std::isfinite(m)) {
        if (range_.smallest == 0.0f || m < range_.smallest) range_.smallest = m;
        if (m > range_.largest) range_.largest = m;
    }
    // A NaN wins its cell whatever else the block holds; otherwise the larger magnitude wins, so an
    // infinity beats every finite value.
    if (std::isnan(cell)) return;
    if (std::isnan(v) || std::fabs(v) > std::fabs(cell)) cell = v;
}

void MatrixBins::add_row(int i, const float* a) {
    if (cells_.empty() || i < rows_.first || i >= rows_.first + rows_.count) return;
    float* line = cells_.data() + static_cast<std::size_t>(rows_.cell_of(i)) * cols_.bins;
    for (int k = 0; k < cols_.count; ++k) {
        const float v = a[k];
        if (v != 0.0f) take(line[col_cell_[static_cast<std::size_t>(k)]], v);
    }
}

bool bin_grid(const GridModel& grid, MatrixBins& bins, const std::atomic<bool>& cancel) {
    if (bins.empty()) return true;
    const BinAxis& rows = bins.rows();
    const BinAxis& cols = bins.cols();
    const int last_col = cols.first + cols.count - 1;
    constexpr float kNotNumber = std::numeric_limits<float>::quiet_NaN();
    std::vector<std::string_view> views(static_cast<std::size_t>(last_col));
    std::vector<float> row(static_cast<std::size_t>(cols.count));
    std::string scratch;
    auto convert = [](std::string_view text) {
        try {
            return text_to_single(text);
        } catch (const RunError&) {
            return kNotNumber;
        }
    };
    for (int i = rows.first; i < rows.first + rows.count; ++i) {
        if (cancel.load(std::memory_order_relaxed)) return false;
        if (grid.system_row_texts(i, last_col, views.data())) {
            // A cell never written holds its placeholder, which is no number.
            for (int k = 0; k < cols.count; ++k) {
                const std::string_view t = views[static_cast<std::size_t>(cols.first - 1 + k)];
                row[static_cast<std::size_t>(k)] = t.data() ? convert(t) : kNotNumber;
            }
        } else {
            for (int k = 0; k < cols.count; ++k)
                row[static_cast<std::size_t>(k)] = convert(grid.text(i, a_column(cols.first + k), scratch));
        }
        bins.add_row(i, row.data());
    }
    return true;
}

bool bin_row_file(const std::string& path, int n, MatrixBins& bins, const std::atomic<bool>& cancel) {
    if (bins.empty() || n <= 0) return true;
    const BinAxis& rows = bins.rows();
    const BinAxis& cols = bins.cols();
    RowFile f;
    f.open(path);
    // Equation i holds a(i,1..n) and b(i) in the records from (n+1)(i-1) + 1 on. The whole matrix of a
    // file that holds every record comes from the solver's own row stream; a block, or a file that
    // ends early (records beyond its end read as 0), record by record through the mapping.
    const std::uint64_t whole = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n + 1) * kRecordLength -
                                (kRecordLength - 4);
    const bool full = rows.first == 1 && rows.count == n && cols.first == 1 && cols.count == n;
    std::optional<RowStream> stream;
    if (full && f.size() >= whole) stream.emplace(f, n);
    std::vector<float> row(static_cast<std::size_t>(cols.count));
    for (int i = 1; i <= rows.first + rows.count - 1; ++i) {
        if (cancel.load(std::memory_order_relaxed)) return false;
        if (stream) {
            bins.add_row(i, stream->next());
            continue;
        }
        if (i < rows.first) continue;
        const std::int64_t first = static_cast<std::int64_t>(n + 1) * (i - 1) + cols.first;
        for (int k = 0; k < cols.count; ++k) row[static_cast<std::size_t>(k)] = f.record(first + k);
        bins.add_row(i, row.data());
    }
    return true;
}

double log_scale_position(float v, const MagnitudeRange& range) {
    if (!std::isfinite(v)) return -2.0;
    if (v == 0.0f) return -1.0;
    const double lo = std::log10(static_cast<double>(range.smallest));
    const double hi = std::log10(static_cast<double>(range.largest));
    if (!(range.smallest > 0.0f) || !(hi > lo)) return 0.5;
    const double p = (std::log10(std::fabs(static_cast<double>(v))) - lo) / (hi - lo);
    return std::clamp(p, 0.0, 1.0);
}

}  // namespace varnex
