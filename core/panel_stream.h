#pragma once
// The columns of the system, a panel of adjacent columns at a time, streamed from the row file for the
// sweep over a file larger than the memory that can cache it: one run of records per equation and
// panel, read one or two panels ahead of the column in use with asynchronous direct reads
// (core/async_file_io.h). Each block of the file is read once per sweep.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/async_file_io.h"
#include "core/row_file.h"

namespace varnex {

/// The first panels of a PanelStream (and the first block's worth of columns of the panel after them,
/// which the stream would take from the reads of the one before), filled from the rows of a sequential
/// pass, so that the sweep after a set-up reads them from memory instead of from the file.
class PanelSeed {
  public:
    /// Keeps the first `kept` panels of panel_cols columns (at least 2, at most all of them).
    PanelSeed(int n, int panel_cols, int kept);
    int order() const { return n_; }
    int panel_columns() const { return p_; }
    /// Row j (1-based) of the system: a(j, 1..n) at a[0..n-1].
    void add_row(int j, const float* a);

  private:
    friend class PanelStream;
    int n_, p_;
    int panels_;  // panels filled: `kept`, or fewer when the system has fewer
    int cols_;    // columns filled, from the first
    int ring_;    // slots of the stream that takes the seed: the panels filled and one more, at least 3
    std::size_t col_stride_, slot_floats_;
    Pages slots_;  // laid out as the stream's slots
};

/// How many panels of panel_cols columns a set-up of order n keeps for the sweep that follows, while
/// the set-up itself holds `beside` bytes of buffers: as many as half of the memory that this process
/// may use beyond those holds (the whole system when it fits), at least two.
int seed_panels(int n, int panel_cols, std::uint64_t beside);

/// The columns 1..n of the system (a(1..n, c)) read panel by panel; the file must hold every record.
/// column(c) must be asked in increasing order of c and release_through(c) called when columns up to
/// c are no longer used; at most two panels beyond the oldest held one are read ahead (more when a
/// seed holds more panels: its slots are the stream's).
class PanelStream {
  public:
    /// seed: the first panels from the set-up (for the same n and panel_cols), or nullptr.
    PanelStream(const RowFile& f, int n, int panel_cols, std::unique_ptr<PanelSeed> seed = nullptr);
    ~PanelStream();
    PanelStream(const PanelStream&) = delete;
    PanelStream& operator=(const PanelStream&) = delete;

    /// Column c (1-based) as a 1-based array: a(j, c) at [j] for j = 1..n. Waits for its panel.
    const float* column(int c);
    /// Columns 1..c are no longer used: their panel's memory may take a later panel.
    void release_through(int c) { released_ = c; }
    /// Lets finished reads in and sends more: called between column steps, it keeps the disk busy
    /// while the caller computes.
    void pump();

  private:
    static constexpr int kSlots = 3;
    friend class PanelSeed;
    void issue();
    void absorb(std::uint64_t tag, long result);
    float* slot_column(int panel, int col0) {
        return reinterpret_cast<float*>(slots_.get()) + static_cast<std::size_t>(panel % ring_) * slot_floats_ +
               static_cast<std::size_t>(col0) * col_stride_;
    }

    const RowFile& f_;
    int n_;
    int p_;  // columns per panel
    int panels_;
    int ring_ = kSlots;  // slots: panel q is in slot q mod ring_
    std::size_t col_stride_;  // floats per column in a slot
    std::size_t slot_floats_;
    Pages slots_;
    std::unique_ptr<AsyncFileIo> reads_;
    std::size_t buf_bytes_;
    Pages bufs_;  // depth buffers of buf_bytes_
    std::vector<unsigned> free_;
    std::vector<int> rows_done_;  // per panel slot: rows finished
    int issue_panel_ = 0, issue_row_ = 0;
    int released_ = 0;
    int held_panel_ = -1;
    // Where each buffer's read went: panel, row, file offset, bytes asked.
    struct Pending {
        int panel, row;
        std::uint64_t off;
        std::size_t len;
    };
    std::vector<Pending> pending_;
};

}  // namespace varnex
