// The panels of columns of a streamed sweep, and the first panels that a set-up keeps for it.

#include "core/panel_stream.h"

#include <fcntl.h>

#include <algorithm>

#include "core/errors.h"
#include "core/memory_budget.h"

namespace varnex {

namespace {
// Reads in flight for a panel stream: about 8 MB of them, from 16 to 128 reads.
constexpr std::size_t kPanelBytesInFlight = 8u << 20;
constexpr unsigned kPanelMinDepth = 16, kPanelMaxDepth = 128;

// The columns per panel that a stream of order n takes when asked for panel_cols: a read's last block
// may hold up to 31 values of the next panel, which must be a later panel than its own, so panels
// narrower than a block are read as a single panel.
int stream_panel_columns(int n, int panel_cols) {
    const int p = std::clamp(panel_cols, 1, n);
    return p < 32 && p < n ? n : p;
}
std::size_t column_stride(int n) { return (static_cast<std::size_t>(n) + 1 + 15) / 16 * 16; }
}  // namespace

PanelSeed::PanelSeed(int n, int panel_cols, int kept)
    : n_(n), p_(stream_panel_columns(n, panel_cols)), col_stride_(column_stride(n)) {
    const int panels = (n + p_ - 1) / p_;
    panels_ = std::clamp(kept, std::min(panels, 2), panels);
    // With a panel after the kept ones, the values of its first block are taken along: at most 32 of
    // them, and never past the last column (that panel may be short).
    cols_ = panels > panels_ ? std::min({panels_ * p_ + 32, (panels_ + 1) * p_, n}) : n;
    ring_ = std::max(PanelStream::kSlots, std::min(panels_ + 1, panels));
    slot_floats_ = col_stride_ * static_cast<std::size_t>(p_);
    slots_ = Pages(slot_floats_ * static_cast<std::size_t>(ring_) * sizeof(float));
}

int seed_panels(int n, int panel_cols, std::uint64_t beside) {
    const int p = stream_panel_columns(n, panel_cols);
    const int panels = (n + p - 1) / p;
    const std::uint64_t slot_bytes = column_stride(n) * static_cast<std::uint64_t>(p) * sizeof(float);
    // The kept panels and the slot of the panel after them.
    const std::uint64_t usable = usable_memory();
    const std::uint64_t slots = (usable > beside ? usable - beside : 0) / 2 / slot_bytes;
    if (slots >= static_cast<std::uint64_t>(panels)) return panels;
    return slots > 3 ? static_cast<int>(slots) - 1 : 2;
}

void PanelSeed::add_row(int j, const float* a) {
    // Panel q's columns go to slot q, a column every col_stride_ floats, equation j at [j].
    for (int q = 0, c0 = 0; c0 < cols_; ++q, c0 += p_) {
        float* col = reinterpret_cast<float*>(slots_.get()) + static_cast<std::size_t>(q) * slot_floats_ +
                     static_cast<std::size_t>(j);
        const int c1 = std::min(c0 + p_, cols_);
        for (int c = c0; c < c1; ++c, col += col_stride_) *col = a[c];
    }
}

PanelStream::PanelStream(const RowFile& f, int n, int panel_cols, std::unique_ptr<PanelSeed> seed) : f_(f), n_(n) {
    p_ = stream_panel_columns(n, panel_cols);
    panels_ = (n + p_ - 1) / p_;
    col_stride_ = column_stride(n);
    slot_floats_ = col_stride_ * static_cast<std::size_t>(p_);
    if (seed && seed->n_ == n && seed->p_ == p_) {
        // The first panels are complete, and the one after them has the values of its first block.
        ring_ = seed->ring_;
        slots_ = std::move(seed->slots_);
        rows_done_.assign(static_cast<std::size_t>(ring_), 0);
        for (int q = 0; q < seed->panels_; ++q) rows_done_[static_cast<std::size_t>(q)] = n;
        issue_panel_ = seed->panels_;
    } else {
        rows_done_.assign(static_cast<std::size_t>(ring_), 0);
        slots_ = Pages(slot_floats_ * static_cast<std::size_t>(ring_) * sizeof(float));
    }
    // A run of p records, widened to whole blocks at both ends.
    buf_bytes_ = align_up_to_block(static_cast<std::size_t>(p_) * kRecordLength) + 2 * kDirectBlock;
    const unsigned depth = static_cast<unsigned>(
        std::clamp<std::size_t>(kPanelBytesInFlight / buf_bytes_, kPanelMinDepth, kPanelMaxDepth));
    reads_ = std::make_unique<AsyncFileIo>(f.stream_fd(), f.direct(), depth);
    bufs_ = Pages(buf_bytes_ * depth);
    reads_->register_buffers({{bufs_.get(), buf_bytes_ * depth}});
    pending_.resize(depth);
    for (unsigned k = depth; k-- > 0;) free_.push_back(k);
    issue();
}

PanelStream::~PanelStream() {
    reads_.reset();  // waits for the reads in flight, before the buffers go
}

// Sends reads of the next runs while buffers are free and the panel's slot (and the slot of the
// panel after it, which gets the values of its last blocks) is no longer held.
void PanelStream::issue() {
    const std::uint64_t stride = static_cast<std::uint64_t>(n_ + 1) * kRecordLength;
    while (!free_.empty() && issue_panel_ < panels_) {
        // Panel q writes the slots of panels q and q+1, which held panels q-ring_ and q+1-ring_.
        if (static_cast<std::int64_t>(released_) < static_cast<std::int64_t>(issue_panel_ + 2 - ring_) * p_) break;
        if (issue_row_ == 0) rows_done_[static_cast<std::size_t>(issue_panel_ % ring_)] = 0;
        const std::uint64_t row_off = static_cast<std::uint64_t>(issue_row_) * stride;
        const int c0 = issue_panel_ * p_, c1 = std::min(c0 + p_, n_);
        // The block holding column c0 was read with the panel before (its values beyond that panel
        // went into this one), unless the panel is the row's first.
        const std::uint64_t s = c0 == 0 ? align_down_to_block(row_off)
                                        : align_up_to_block(row_off + static_cast<std::uint64_t>(c0) * kRecordLength);
        const std::uint64_t e = align_up_to_block(row_off + static_cast<std::uint64_t>(c1 - 1) * kRecordLength + 4);
        if (e > s) {
            const unsigned k = free_.back();
            free_.pop_back();
            pending_[k] = Pending{issue_panel_, issue_row_, s, static_cast<std::size_t>(e - s)};
            reads_->submit(bufs_.get() + static_cast<std::size_t>(k) * buf_bytes_, static_cast<std::size_t>(e - s), s,
                           k);
        } else {
            // Every value of the run lay in the last block read for the panel before.
            ++rows_done_[static_cast<std::size_t>(issue_panel_ % ring_)];
        }
        if (++issue_row_ == n_) {
            issue_row_ = 0;
            ++issue_panel_;
        }
    }
    reads_->flush();
}

// A finished read: its values go into the columns of its panel and, past the panel's last column,
// into the next panel's; the buffer is free again.
void PanelStream::absorb(std::uint64_t tag, long result) {
    const unsigned k = static_cast<unsigned>(tag);
    const Pending pd = pending_[k];
    unsigned char* buf = bufs_.get() + static_cast<std::size_t>(k) * buf_bytes_;
    const std::uint64_t stride = static_cast<std::uint64_t>(n_ + 1) * kRecordLength;
    const std::uint64_t row_off = static_cast<std::uint64_t>(pd.row) * stride;
    const std::uint64_t row_end = row_off + static_cast<std::uint64_t>(n_) * kRecordLength;  // a values only
    const std::uint64_t e = std::min(pd.off + pd.len, row_end);
    // The bytes needed end with the value bytes of the last record in the read.
    const std::size_t need = static_cast<std::size_t>(e - pd.off) - (kRecordLength - 4);
    if (result < 0 || static_cast<std::size_t>(result) < need) {
        if (!read_at_least(f_.plain_fd(), buf, pd.off, pd.len, need)) raise(ErrorKind::FileError);
    }
    const int c0 = pd.panel * p_, c1 = std::min(c0 + p_, n_);
    int col = pd.off <= row_off ? 0 : static_cast<int>((pd.off - row_off) / kRecordLength);
    const unsigned char* p = buf + (row_off + static_cast<std::uint64_t>(col) * kRecordLength - pd.off);
    const int last = static_cast<int>((e - row_off) / kRecordLength);  // columns col .. last-1
    float* own = slot_column(pd.panel, 0) + pd.row + 1;
    for (; col < last && col < c1; ++col, p += kRecordLength)
        own[static_cast<std::size_t>(col - c0) * col_stride_] = record_value(p);
    if (col < last) {
        float* later = slot_column(pd.panel + 1, 0) + pd.row + 1;
        for (; col < last; ++col, p += kRecordLength)
            later[static_cast<std::size_t>(col - c1) * col_stride_] = record_value(p);
    }
    ++rows_done_[static_cast<std::size_t>(pd.panel % ring_)];
    free_.push_back(k);
    if (!f_.direct())
        ::posix_fadvise(f_.stream_fd(), static_cast<off_t>(pd.off), static_cast<off_t>(pd.len), POSIX_FADV_DONTNEED);
}

void PanelStream::pump() {
    std::uint64_t tag;
    long res;
    while (reads_->reap(false, tag, res)) absorb(tag, res);
    issue();
}

const float* PanelStream::column(int c) {
    const int q = (c - 1) / p_;
    // A panel is complete when all its rows are read and the panel before it, which supplies the
    // values of its first blocks, is complete too.
    auto complete = [&](int panel) {
        return panel < issue_panel_ && rows_done_[static_cast<std::size_t>(panel % ring_)] == n_;
    };
    if (q != held_panel_) {
        while (!(complete(q) && (q == 0 || held_panel_ == q - 1 || complete(q - 1)))) {
            issue();
            std::uint64_t tag;
            long res;
            if (!reads_->reap(true, tag, res)) raise(ErrorKind::FileError);
            absorb(tag, res);
        }
        held_panel_ = q;
    }
    return slot_column(q, (c - 1) - q * p_);
}

}  // namespace varnex
