#pragma once
// The data grid as a table of text cells with one fixed header row and one fixed first column.
// The two layouts that the program lays into it (the system layout and the solution layout) keep
// their placeholder and operator texts implicit: they are derived from the layout when read, so a
// large layout costs memory only for the cells that are actually written.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varnex {

/// Told about changes, so that a view can follow the model.
class GridObserver {
  public:
    virtual ~GridObserver() = default;
    /// Row or column counts changed, or the whole grid was cleared or laid out anew.
    virtual void grid_reset() = 0;
    /// One cell's text was written.
    virtual void cell_written(int row, int col) = 0;
};

class GridModel {
  public:
    GridModel();
    ~GridModel();

    /// Designed size: 2 rows, 2 columns, all cells empty.
    int rows() const { return rows_; }
    int cols() const { return cols_; }
    /// Whether the row and column counts are those of the system layout of the order n.
    bool has_system_shape(int n) const;

    /// Empties the text of every cell; the counts stay.
    void clear();

    /// The text of a cell. Derived texts are built into `scratch`; the view stays valid until the next
    /// write or layout change. Throws RunError(Subscript) outside the grid.
    std::string_view text(int row, int col, std::string& scratch) const;
    std::string text(int row, int col) const;
    /// The texts of the cells (row, 1), (row, 3), .., (row, 2 * count - 1) at out[0..count-1], for a
    /// row of the system layout whose cells are all inside the grid: a written text as text() gives it,
    /// and a view with a null data() for a cell never written (its text comes from text()). False,
    /// with nothing filled in, when the grid is not laid out so; text() then answers for each cell.
    /// The views stay valid as those of text() do.
    bool system_row_texts(int row, int count, std::string_view* out) const;
    /// Writes a cell's text. Throws RunError(Subscript) outside the grid.
    void set_text(int row, int col, std::string_view text);

    /// Lays the system layout for the order n: clear, n+1 rows, 2n+4 columns, "System" and "Solution"
    /// in the header, the placeholders a(i,j) and b(i), the operator texts and "0" approximations.
    /// Index arithmetic is 16-bit: n >= 16382 raises RunError(Overflow); n < 0 RunError(Subscript).
    /// A failure leaves the grid as it was. Costs O(n) time and memory: the texts are implicit.
    void fill_data(int16_t n);
    /// Lays the solution layout: n+1 rows, 2 columns (not cleared first), "Solution" at (0,0),
    /// "X(i)=" in column 0 and the text of x[i] in column 1. Raises RunError(Subscript) for n < 0 or an
    /// x that does not cover 1..n, before anything changes.
    void fill_x(int16_t n, const std::vector<float>& x);

    /// The one observer told about changes (nullptr: none).
    void set_observer(GridObserver* observer) { observer_ = observer; }
    GridObserver* observer() const { return observer_; }

    /// Bytes held for written texts, their slots and tables (for memory measurements).
    std::size_t memory_bytes() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int rows_ = 2;
    int cols_ = 2;
    GridObserver* observer_ = nullptr;
};

}  // namespace varnex
