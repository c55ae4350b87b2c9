#pragma once
// A system read from a Matrix Market or delimited-text file, held until it has been checked whole,
// so that a refused file leaves the grid as it was. Coefficient texts are views into the file's bytes
// (kept here) or into texts the reader had to make (a mirrored negative, a pattern's 1, b = A*1).

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/grid_model.h"
#include "files/mapped_file.h"

namespace varnex {

/// Largest order whose system layout the grid can index with 16-bit columns (2N + 4 <= 32767).
inline constexpr int kMaxImportOrder = 16381;

/// Why a file cannot be imported: the file, its 1-based line (0 when the fault has no one line), the
/// value's 1-based position on that line (0 when no one value is at fault) and the reason.
class ImportRefusal : public std::runtime_error {
  public:
    ImportRefusal(std::string file, long line, std::string why)
        : ImportRefusal(std::move(file), line, 0, std::move(why)) {}
    ImportRefusal(std::string file, long line, long column, std::string why);
    const std::string& file() const { return file_; }
    long line() const { return line_; }
    long column() const { return column_; }
    const std::string& why() const { return why_; }
    /// "FILE, line L, column C: why", the parts that are not known left out.
    std::string where_and_why() const;
    /// The order of a file refused for being larger than the grid can hold, else 0.
    long long order() const { return order_; }

  private:
    std::string file_;
    long line_;
    long column_;
    std::string why_;

  protected:
    long long order_ = 0;
};

/// A file refused for its order alone, so that the window can say where larger systems go.
class OrderRefusal : public ImportRefusal {
  public:
    OrderRefusal(std::string file, long line, long long order);
};

/// Not copied or moved: the views point into its own strings, which a move of a short one would copy.
struct ImportedSystem {
    ImportedSystem() = default;
    ImportedSystem(const ImportedSystem&) = delete;
    ImportedSystem& operator=(const ImportedSystem&) = delete;

    /// One given coefficient of a sparse matrix; rows and columns 1-based.
    struct Entry {
        int32_t row, col;
        int32_t line;  ///< the file line that gave it (a mirrored entry: its original's)
        std::string_view text;
        float value;  ///< parsed only when b has to be computed
    };

    int n = 0;
    std::string_view text;  ///< the matrix file's bytes: `mapped` or `owned`
    MappedFile mapped;
    std::string owned;
    std::string b_text;  ///< the right-hand side file's bytes
    std::deque<std::string> made;
    /// The decimal mark of the numbers in `text` and `b_text`: '.' in a Matrix Market file; a
    /// delimited file's marks are rewritten in place to the user's separator.
    char mark = '.';

    /// Dense form: a(i,j) at (i-1)*n + (j-1), or at (j-1)*n + (i-1) when column_major. Sparse form:
    /// entries sorted by row, then column; the coefficients not listed are "0".
    bool sparse = false;
    bool column_major = false;
    std::vector<std::string_view> dense;
    /// A general array's dense form (column-major) in 6 instead of 16 bytes a coefficient: where
    /// each a(i,j) starts in `text` and its length. Used instead of `dense` when not empty.
    std::vector<uint32_t> offsets;
    std::vector<uint16_t> lengths;
    std::vector<Entry> entries;
    /// a(i,j) as numbers in the dense form, only when b has to be computed.
    std::vector<float> dense_values;

    /// b(1..n) at 0..n-1; empty until the right-hand side is known.
    std::vector<std::string_view> b;
    /// b was computed as A*1 because no right-hand side came with the matrix.
    bool b_computed = false;

    /// Keeps a made text and returns a view of it that stays valid as long as the system.
    std::string_view keep(std::string s) { return made.emplace_back(std::move(s)); }

    /// b(i) = the sum of a(i,1..n), evaluated left to right in single precision (each step in double,
    /// rounded to float), as the shortest texts that read back to those very sums. Raises ImportRefusal when a sum
    /// leaves the single range.
    void compute_b_as_row_sums(const std::string& file);

    /// Writes every a(i,j) and b(i) into a grid that holds the system layout for n, a file's decimal
    /// mark turned into the user's separator. The grid's own failures (RunError) reach the caller.
    void write_cells(GridModel& grid) const;
};

}  // namespace varnex
