// Streaming reads of the row file: the choice between mapping and streaming (by the memory budget), the
// asynchronous reads, the sequential pass over the rows and the panels of columns.

#include "core/row_stream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#ifdef VARNEX_HAVE_URING
#include <liburing.h>
#endif

#include "core/errors.h"

namespace varnex {

namespace {

std::atomic<RowAccess> g_access{RowAccess::Automatic};
std::atomic<bool> g_async{true};

constexpr std::uint64_t kBlock = 4096;
inline std::uint64_t align_down(std::uint64_t v) { return v & ~(kBlock - 1); }
inline std::uint64_t align_up(std::uint64_t v) { return (v + kBlock - 1) & ~(kBlock - 1); }

}  // namespace

void set_row_access(RowAccess access) { g_access.store(access); }
RowAccess row_access() { return g_access.load(); }
void set_async_reads(bool on) { g_async.store(on); }

bool streams_file(std::uint64_t bytes) { return bytes > usable_memory() / 2; }

int panel_columns(int n) {
    // Three panels of p columns of n floats within the budget.
    const std::uint64_t budget = std::clamp<std::uint64_t>(usable_memory() / 5, 8ull << 20, 48ull << 20);
    const std::uint64_t per_column = 3ull * 4ull * static_cast<std::uint64_t>(n + 16);
    std::uint64_t p = budget / per_column;
    p = std::clamp<std::uint64_t>(p / 32 * 32, 32, 1024);
    return n < static_cast<int>(p) ? n : static_cast<int>(p);
}

Pages::Pages(std::size_t bytes) : n_(align_up(bytes)) {
    void* p = ::mmap(nullptr, n_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) raise(ErrorKind::OutOfMemory);
    p_ = p;
}

Pages::~Pages() {
    if (p_) ::munmap(p_, n_);
}

// ---- reads -------------------------------------------------------------------------------------

struct AsyncFileIo::Ring {
#ifdef VARNEX_HAVE_URING
    io_uring ring{};
#endif
};

AsyncFileIo::AsyncFileIo(int fd, bool /*direct*/, unsigned depth) : fd_(fd), depth_(depth) {
#ifdef VARNEX_HAVE_URING
    auto r = std::make_unique<Ring>();
    if (g_async.load() && io_uring_queue_init(depth, &r->ring, 0) == 0) ring_ = std::move(r);
#endif
}

AsyncFileIo::~AsyncFileIo() {
#ifdef VARNEX_HAVE_URING
    if (ring_) {
        // Buffers must outlive the reads that fill them: every read still in flight is waited for.
        flush();
        while (in_flight_ > 0) {
            io_uring_cqe* cqe = nullptr;
            if (io_uring_wait_cqe(&ring_->ring, &cqe) != 0) break;
            io_uring_cqe_seen(&ring_->ring, cqe);
            --in_flight_;
        }
        io_uring_queue_exit(&ring_->ring);
    }
#endif
}

void AsyncFileIo::register_buffers(const std::vector<std::pair<void*, std::size_t>>& bufs) {
#ifdef VARNEX_HAVE_URING
    if (!ring_ || !registered_.empty() || bufs.empty()) return;
    std::vector<iovec> iov;
    for (const auto& [p, n] : bufs) iov.push_back(iovec{p, n});
    if (io_uring_register_buffers(&ring_->ring, iov.data(), static_cast<unsigned>(iov.size())) == 0) registered_ = bufs;
#else
    (void)bufs;
#endif
}

void AsyncFileIo::submit(void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag) {
    queue(buf, len, off, tag, false);
}

void AsyncFileIo::submit_write(const void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag) {
    // A write only reads its buffer; the shared queue takes the pointer as the kernel does.
    queue(const_cast<void*>(buf), len, off, tag, true);
}

void AsyncFileIo::queue(void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag, bool write) {
    ++in_flight_;
#ifdef VARNEX_HAVE_URING
    if (ring_) {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring_->ring);
        if (!sqe) {
            flush();
            sqe = io_uring_get_sqe(&ring_->ring);
        }
        // A registered buffer spares the kernel mapping its pages for every read.
        int index = -1;
        for (std::size_t k = 0; k < registered_.size(); ++k) {
            auto* start = static_cast<unsigned char*>(registered_[k].first);
            auto* p = static_cast<unsigned char*>(buf);
            if (p >= start && p + len <= start + registered_[k].second) index = static_cast<int>(k);
        }
        if (index >= 0 && write) {
            io_uring_prep_write_fixed(sqe, fd_, buf, static_cast<unsigned>(len), off, index);
        } else if (index >= 0) {
            io_uring_prep_read_fixed(sqe, fd_, buf, static_cast<unsigned>(len), off, index);
        } else if (write) {
            io_uring_prep_write(sqe, fd_, buf, static_cast<unsigned>(len), off);
        } else {
            io_uring_prep_read(sqe, fd_, buf, static_cast<unsigned>(len), off);
        }
        io_uring_sqe_set_data64(sqe, tag);
        ++queued_;
        return;
    }
#endif
    ssize_t n;
    do {
        n = write ? ::pwrite(fd_, buf, len, static_cast<off_t>(off)) : ::pread(fd_, buf, len, static_cast<off_t>(off));
    } while (n < 0 && errno == EINTR);
    done_.emplace_back(tag, n < 0 ? -static_cast<long>(errno) : static_cast<long>(n));
}

void AsyncFileIo::flush() {
#ifdef VARNEX_HAVE_URING
    if (ring_ && queued_ > 0) {
        int r;
        do {
            r = io_uring_submit(&ring_->ring);
        } while (r == -EINTR);
        queued_ = 0;
    }
#endif
}

bool AsyncFileIo::reap(bool wait, std::uint64_t& tag, long& result) {
    if (in_flight_ == 0) return false;
#ifdef VARNEX_HAVE_URING
    if (ring_) {
        flush();
        io_uring_cqe* cqe = nullptr;
        int r;
        do {
            r = wait ? io_uring_wait_cqe(&ring_->ring, &cqe) : io_uring_peek_cqe(&ring_->ring, &cqe);
        } while (r == -EINTR);
        if (r != 0 || !cqe) return false;
        tag = io_uring_cqe_get_data64(cqe);
        result = cqe->res;
        io_uring_cqe_seen(&ring_->ring, cqe);
        --in_flight_;
        return true;
    }
#endif
    (void)wait;
    tag = done_.back().first;
    result = done_.back().second;
    done_.pop_back();
    --in_flight_;
    return true;
}

namespace {

// A buffer aligned for direct reads.

// Reads [off, off + len) of the file through its ordinary descriptor into buf; a read that a direct
// descriptor returned short or refused is done again this way. Bytes past the end of the file are not
// needed by any caller. False on a read error.
bool read_plain(const RowFile& f, unsigned char* buf, std::uint64_t off, std::size_t len, std::size_t need) {
    std::size_t got = 0;
    while (got < need) {
        ssize_t n = ::pread(f.plain_fd(), buf + got, len - got, static_cast<off_t>(off + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

// ---- rows ----------------------------------------------------------------------------------------

// Chunks of 4 MB, eight of them in flight: the disk streams while the caller works on the one before,
// and goes on for a while when a busy machine takes the caller's processor away.
namespace {
constexpr std::size_t kChunkBytes = 4u << 20;
constexpr unsigned kChunks = 8;
}  // namespace

struct RowStream::Chunk {
    Pages buf;
    std::uint64_t off = 0;
    std::size_t len = 0;  // bytes of the system in it
    bool ready = false;
};

RowStream::RowStream(const RowFile& f, int n) : f_(f), n_(n), row_(static_cast<std::size_t>(n) + 1) {
    end_ = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n + 1) * kRecordLength;
    if (!f.streamed()) {
        map_ = f.bytes();
        return;
    }
    reads_ = std::make_unique<AsyncFileIo>(f.stream_fd(), f.direct(), kChunks);
    chunks_.resize(kChunks);
    std::vector<std::pair<void*, std::size_t>> bufs;
    for (Chunk& c : chunks_) {
        c.buf = Pages(kChunkBytes);
        bufs.emplace_back(c.buf.get(), kChunkBytes);
    }
    reads_->register_buffers(bufs);
    for (unsigned k = 0; k < kChunks; ++k) {
        if (next_off_ < end_) {
            chunks_[k].off = next_off_;
            chunks_[k].len = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, end_ - next_off_));
            reads_->submit(chunks_[k].buf.get(), align_up(chunks_[k].len), next_off_, k);
            next_off_ += chunks_[k].len;
        }
    }
    reads_->flush();
}

RowStream::~RowStream() {
    reads_.reset();  // waits for the reads in flight, before the chunks go
}

// Waits until the chunk at head_ is read (the others keep coming meanwhile).
void RowStream::refill() {
    Chunk& c = chunks_[head_];
    while (!c.ready) {
        std::uint64_t tag;
        long res;
        if (!reads_->reap(true, tag, res)) raise(ErrorKind::FileError);
        Chunk& d = chunks_[tag];
        // The file may end right after the value bytes of the system's last record.
        const std::size_t need = d.len - (kRecordLength - 4);
        if (res < 0 || static_cast<std::size_t>(res) < need) {
            if (!read_plain(f_, d.buf.get(), d.off, d.len, need)) raise(ErrorKind::FileError);
        }
        d.ready = true;
    }
    if (!f_.direct())
        ::posix_fadvise(f_.stream_fd(), static_cast<off_t>(c.off), static_cast<off_t>(c.len), POSIX_FADV_DONTNEED);
}

const float* RowStream::next() {
    if (row_no_ >= n_) return nullptr;
    const std::size_t rec = static_cast<std::size_t>(n_ + 1);
    if (map_) {
        const unsigned char* p = map_ + static_cast<std::size_t>(row_no_) * rec * kRecordLength;
        for (std::size_t k = 0; k < rec; ++k, p += kRecordLength) row_[k] = record_value(p);
        ++row_no_;
        return row_.data();
    }
    // The values of the row are gathered from as many chunks as it spans.
    while (static_cast<std::size_t>(col_) < rec) {
        Chunk& c = chunks_[head_];
        if (!c.ready) refill();
        const unsigned char* p = c.buf.get();
        std::size_t take = std::min<std::size_t>((c.len - pos_) / kRecordLength, rec - static_cast<std::size_t>(col_));
        for (std::size_t k = 0; k < take; ++k, pos_ += kRecordLength)
            row_[static_cast<std::size_t>(col_) + k] = record_value(p + pos_);
        col_ += static_cast<int>(take);
        if (pos_ + kRecordLength > c.len) {
            // The chunk is used up: it takes the next one of the file.
            c.ready = false;
            pos_ = 0;
            if (next_off_ < end_) {
                c.off = next_off_;
                c.len = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, end_ - next_off_));
                reads_->submit(c.buf.get(), align_up(c.len), next_off_, head_);
                reads_->flush();
                next_off_ += c.len;
            }
            head_ = (head_ + 1) % kChunks;
        }
    }
    col_ = 0;
    ++row_no_;
    return row_.data();
}

// ---- panels --------------------------------------------------------------------------------------

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

PanelSeed::PanelSeed(int n, int panel_cols)
    : n_(n), p_(stream_panel_columns(n, panel_cols)), col_stride_(column_stride(n)) {
    const int panels = (n + p_ - 1) / p_;
    panels_ = std::min(panels, 2);
    // With a third panel, the values of its first block are taken along: at most 32 of them, and
    // never past the last column (an order just above two panels has a short third panel).
    cols_ = panels > 2 ? std::min({2 * p_ + 32, 3 * p_, n}) : n;
    slot_floats_ = col_stride_ * static_cast<std::size_t>(p_);
    slots_ = Pages(slot_floats_ * PanelStream::kSlots * sizeof(float));
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
    rows_done_.assign(kSlots, 0);
    if (seed && seed->n_ == n && seed->p_ == p_) {
        // The first panels are complete, and the third has the values of its first block.
        slots_ = std::move(seed->slots_);
        for (int q = 0; q < seed->panels_; ++q) rows_done_[static_cast<std::size_t>(q)] = n;
        issue_panel_ = seed->panels_;
    } else {
        slots_ = Pages(slot_floats_ * kSlots * sizeof(float));
    }
    // A run of p records, widened to whole blocks at both ends.
    buf_bytes_ = align_up(static_cast<std::size_t>(p_) * kRecordLength) + 2 * kBlock;
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
        // Panel q writes slots q and q+1, which held panels q-3 and q-2.
        if (static_cast<std::int64_t>(released_) < static_cast<std::int64_t>(issue_panel_ - 1) * p_) break;
        if (issue_row_ == 0) rows_done_[static_cast<std::size_t>(issue_panel_ % kSlots)] = 0;
        const std::uint64_t row_off = static_cast<std::uint64_t>(issue_row_) * stride;
        const int c0 = issue_panel_ * p_, c1 = std::min(c0 + p_, n_);
        // The block holding column c0 was read with the panel before (its values beyond that panel
        // went into this one), unless the panel is the row's first.
        const std::uint64_t s =
            c0 == 0 ? align_down(row_off) : align_up(row_off + static_cast<std::uint64_t>(c0) * kRecordLength);
        const std::uint64_t e = align_up(row_off + static_cast<std::uint64_t>(c1 - 1) * kRecordLength + 4);
        if (e > s) {
            const unsigned k = free_.back();
            free_.pop_back();
            pending_[k] = Pending{issue_panel_, issue_row_, s, static_cast<std::size_t>(e - s)};
            reads_->submit(bufs_.get() + static_cast<std::size_t>(k) * buf_bytes_, static_cast<std::size_t>(e - s), s,
                           k);
        } else {
            // Every value of the run lay in the last block read for the panel before.
            ++rows_done_[static_cast<std::size_t>(issue_panel_ % kSlots)];
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
        if (!read_plain(f_, buf, pd.off, pd.len, need)) raise(ErrorKind::FileError);
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
    ++rows_done_[static_cast<std::size_t>(pd.panel % kSlots)];
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
        return panel < issue_panel_ && rows_done_[static_cast<std::size_t>(panel % kSlots)] == n_;
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
