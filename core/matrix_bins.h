#pragma once
// The picture of a matrix reduced to a grid of cells: each cell holds the entry of largest magnitude
// of the block of entries it covers, so that a 16381-square matrix fits a window and no large entry
// is lost however many entries share one pixel. A block that holds a value that is not a finite
// number (NaN, an infinity) shows that value instead, so that it stands out. No Qt.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varnex {

/// How the entries first..first+count-1 of one dimension fall into `bins` cells: entry first+k lies
/// in cell k*bins/count, so that every cell covers count/bins entries (one more for some).
struct BinAxis {
    int first = 1;
    int count = 0;
    int bins = 0;

    /// The cell of entry `index` (first <= index < first + count).
    int cell_of(int index) const {
        return static_cast<int>(static_cast<std::int64_t>(index - first) * bins / count);
    }
    /// The first entry of cell c; cell c covers first_of(c) .. first_of(c + 1) - 1.
    int first_of(int c) const {
        return first + static_cast<int>((static_cast<std::int64_t>(c) * count + bins - 1) / bins);
    }
};

/// The range of the logarithmic colour scale: the smallest and largest magnitude above 0 (0 and 0
/// when there is none).
struct MagnitudeRange {
    float smallest = 0.0f;
    float largest = 0.0f;
};

/// A block of a matrix (rows × cols) reduced to rows.bins × cols.bins cells, filled row by row in any
/// order.
class MatrixBins {
  public:
    MatrixBins() = default;
    /// The block of rows row_first.. (row_count of them) and columns col_first.. (col_count), in at
    /// most max_bins cells along each side (one cell per entry where the block is that small).
    MatrixBins(int row_first, int row_count, int col_first, int col_count, int max_bins);

    /// Row i of the block: a[k] = a(i, cols().first + k) for k = 0 .. cols().count - 1.
    void add_row(int i, const float* a);

    const BinAxis& rows() const { return rows_; }
    const BinAxis& cols() const { return cols_; }
    bool empty() const { return cells_.empty(); }
    /// Cell (r, c): the entry of largest magnitude of its block (0 when all are 0), or a NaN of the
    /// block.
    float cell(int r, int c) const { return cells_[static_cast<std::size_t>(r) * cols_.bins + c]; }
    /// The smallest and the largest |a(i,j)| above 0 among the finite entries added.
    const MagnitudeRange& range() const { return range_; }

  private:
    void take(float& cell, float v);
    BinAxis rows_, cols_;
    MagnitudeRange range_;
    std::vector<int> col_cell_;  // cell of each column of the block
    std::vector<float> cells_;
};

class GridModel;

/// Fills `bins` from the coefficients in the data grid (memory mode, where the grid holds the system
/// as text): each cell converted as the solve commands convert it, a cell that is not a number (a
/// placeholder, a typo) as a NaN. Returns false when `cancel` was set before the pass ended. Throws
/// RunError(Subscript) when the block reaches outside the grid.
bool bin_grid(const GridModel& grid, MatrixBins& bins, const std::atomic<bool>& cancel);

/// Fills `bins` from the connected system of order n in the row file at `path`: one sequential pass
/// over its rows for the whole matrix, the block's own records otherwise. Returns false when
/// cancelled. Throws RunError(FileError) when the file cannot be opened or read.
bool bin_row_file(const std::string& path, int n, MatrixBins& bins, const std::atomic<bool>& cancel);

/// Where |v| lies on the logarithmic scale of `range`: 0 at the smallest magnitude, 1 at the largest
/// (0.5 when both are one value); -1 for 0 (drawn blank); -2 for a value that is not a finite number.
double log_scale_position(float v, const MagnitudeRange& range);

}  // namespace varnex
