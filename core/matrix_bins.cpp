#include "core/matrix_bins.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/errors.h"
#include "core/row_file.h"
#include "core/row_stream.h"
#include "core/state.h"

namespace varnex {

MatrixBins::MatrixBins(int row_first, int row_count, int col_first, int col_count, int max_bins) {
    if (row_count <= 0 || col_count <= 0 || max_bins <= 0) return;
    rows_ = {row_first, row_count, std::min(row_count, max_bins)};
    cols_ = {col_first, col_count, std::min(col_count, max_bins)};
    col_cell_.resize(static_cast<std::size_t>(col_count));
    for (int k = 0; k < col_count; ++k) col_cell_[static_cast<std::size_t>(k)] = cols_.cell_of(col_first + k);
    cells_.assign(static_cast<std::size_t>(rows_.bins) * static_cast<std::size_t>(cols_.bins), 0.0f);
}

void MatrixBins::take(float& cell, float v) const {
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

void MatrixBins::add_column(int j, const float* a) {
    if (cells_.empty() || j < cols_.first || j >= cols_.first + cols_.count) return;
    const int c = col_cell_[static_cast<std::size_t>(j - cols_.first)];
    // Entries of one column run through the row cells in order: step from cell to cell.
    int k = 0;
    for (int r = 0; r < rows_.bins; ++r) {
        const int end = rows_.first_of(r + 1) - rows_.first;
        float& cell = cells_[static_cast<std::size_t>(r) * cols_.bins + c];
        for (; k < end; ++k) {
            const float v = a[k];
            if (v != 0.0f) take(cell, v);
        }
    }
}

bool bin_matrix(const SquareMatrix& A, MatrixBins& bins, const std::atomic<bool>& cancel) {
    if (bins.empty()) return true;
    const BinAxis& rows = bins.rows();
    const BinAxis& cols = bins.cols();
    if (A.upper() < rows.first + rows.count - 1 || A.upper() < cols.first + cols.count - 1 || rows.first < 0 ||
        cols.first < 0)
        raise(ErrorKind::Subscript);
    // A is stored by columns: each column of the block is one contiguous run.
    for (int j = cols.first; j < cols.first + cols.count; ++j) {
        if (cancel.load(std::memory_order_relaxed)) return false;
        bins.add_column(j, A.col(j) + rows.first);
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

MagnitudeRange magnitude_range(const MatrixBins& bins) {
    MagnitudeRange range;
    for (int r = 0; r < bins.rows().bins; ++r) {
        for (int c = 0; c < bins.cols().bins; ++c) {
            const float m = std::fabs(bins.cell(r, c));
            if (!(m > 0.0f) || !std::isfinite(m)) continue;
            if (range.smallest == 0.0f || m < range.smallest) range.smallest = m;
            range.largest = std::max(range.largest, m);
        }
    }
    return range;
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
