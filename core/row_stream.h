#pragma once
// Streaming reads of the row file, for files larger than the memory that can cache them. Every value
// sits in a record of 128 bytes, so the readers fetch whole runs of records with large direct reads
// (the page cache is bypassed, or told to drop what was read) and keep only the values:
//  - RowStream hands out the rows of the system one after the other, from one sequential pass;
//  - PanelStream hands out its columns, a panel of adjacent columns at a time: one run of records per
//    equation and panel, read one or two panels ahead of the column in use.
// Each block of the file is read once per pass; the reads run asynchronously (io_uring) while the
// caller computes, or one after the other where the kernel offers no such interface.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/memory_budget.h"
#include "core/row_file.h"

namespace varnex {

/// How the sweep and the set-up read the row file: chosen when the file is opened, from its size
/// against the memory that this process may use (Automatic), or fixed (for tests and benchmarks).
/// Streamed reads the file directly where the file system allows it; StreamedCached always reads
/// through the page cache and drops what it has read.
enum class RowAccess { Automatic, Mapped, Streamed, StreamedCached };
void set_row_access(RowAccess access);
RowAccess row_access();
/// Whether streams read asynchronously (io_uring, when the kernel offers it) or one read at a time.
void set_async_reads(bool on);

/// Under Automatic: whether a file of this many bytes is streamed, i.e. whether it exceeds half of the
/// memory this process may use (the available memory of the machine, capped by the limits of the
/// memory cgroups it runs in).
bool streams_file(std::uint64_t bytes);

/// Columns per panel of a PanelStream for the order n: a multiple of 32 (one 4 KB block of records)
/// from 32 to 1024, so that the three panels in memory take at most a fifth of the memory this
/// process may use, between 8 and 48 MB; never more than n. Wide panels make long reads: each read
/// takes the run of one equation's records in a panel, 128 KB for 1024 columns.
int panel_columns(int n);

/// Memory taken straight from the kernel: page-aligned, as direct reads need, zero-filled, and given
/// back whole when freed, so that a pass's buffers do not stay in the process after it.
class Pages {
  public:
    Pages() = default;
    explicit Pages(std::size_t bytes);
    ~Pages();
    Pages(Pages&& o) noexcept : p_(o.p_), n_(o.n_) { o.p_ = nullptr, o.n_ = 0; }
    Pages& operator=(Pages&& o) noexcept {
        std::swap(p_, o.p_);
        std::swap(n_, o.n_);
        return *this;
    }
    unsigned char* get() const { return static_cast<unsigned char*>(p_); }

  private:
    void* p_ = nullptr;
    std::size_t n_ = 0;
};

/// Asynchronous reads (and writes) of one file, tagged by the caller; without io_uring each one is done
/// at submission and its completion is handed out afterwards.
class AsyncFileIo {
  public:
    /// fd: the descriptor to read (opened with O_DIRECT when direct is true); depth: reads in flight.
    AsyncFileIo(int fd, bool direct, unsigned depth);
    ~AsyncFileIo();
    AsyncFileIo(const AsyncFileIo&) = delete;
    AsyncFileIo& operator=(const AsyncFileIo&) = delete;

    unsigned depth() const { return depth_; }
    /// Registers the buffers that the reads (or writes) will use, given as (start, bytes), so that
    /// the kernel maps them once instead of at every read. Where it refuses (a memory-lock limit),
    /// the reads go on with unregistered buffers.
    void register_buffers(const std::vector<std::pair<void*, std::size_t>>& bufs);
    unsigned in_flight() const { return in_flight_; }
    /// Queues a read of len bytes at off into buf (aligned to 4096 for direct reads); at most depth()
    /// may be in flight. Sent to the kernel by the next flush or reap.
    void submit(void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag);
    /// The same for a write of len bytes from buf at off.
    void submit_write(const void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag);
    /// Sends the queued reads.
    void flush();
    /// One finished read: its tag and the bytes read (negative: an error number). False when none is
    /// finished and wait is false, or none is in flight.
    bool reap(bool wait, std::uint64_t& tag, long& result);

  private:
    // One read or write: queued on the ring, or done at once without io_uring.
    void queue(void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag, bool write);
    struct Ring;
    std::unique_ptr<Ring> ring_;
    int fd_;
    unsigned depth_;
    unsigned in_flight_ = 0;
    unsigned queued_ = 0;
    std::vector<std::pair<std::uint64_t, long>> done_;  // finished without io_uring
    std::vector<std::pair<void*, std::size_t>> registered_;
};

/// The rows 1..n of the system, in order, from one sequential pass over the file; the file must hold
/// every record of the system.
class RowStream {
  public:
    RowStream(const RowFile& f, int n);
    ~RowStream();
    /// The next row: a(j, 1..n) at [0..n-1] and b(j) at [n]; nullptr after row n. Throws
    /// RunError(FileError) when a read fails.
    const float* next();

  private:
    void refill();
    const RowFile& f_;
    int n_;
    std::vector<float> row_;
    int row_no_ = 0;
    int col_ = 0;  // values of the row gathered so far
    // The mapped file, or the direct reads of chunks.
    const unsigned char* map_ = nullptr;
    std::unique_ptr<AsyncFileIo> reads_;
    struct Chunk;
    std::vector<Chunk> chunks_;
    std::uint64_t next_off_ = 0;  // file offset of the next chunk to request
    std::uint64_t end_ = 0;       // end of the system's bytes
    unsigned head_ = 0;           // the chunk being consumed
    std::size_t pos_ = 0;         // next byte of it
};

/// The first two panels of a PanelStream (and the first block's worth of columns of the third, which
/// the stream would take from the reads of the second), filled from the rows of a sequential pass, so
/// that the sweep after a set-up reads them from memory instead of from the file.
class PanelSeed {
  public:
    PanelSeed(int n, int panel_cols);
    int order() const { return n_; }
    int panel_columns() const { return p_; }
    /// Row j (1-based) of the system: a(j, 1..n) at a[0..n-1].
    void add_row(int j, const float* a);

  private:
    friend class PanelStream;
    int n_, p_;
    int panels_;  // panels filled: 2, or fewer when the system has fewer
    int cols_;    // columns filled, from the first
    std::size_t col_stride_, slot_floats_;
    Pages slots_;  // laid out as the stream's three slots
};

/// The columns 1..n of the system (a(1..n, c)) read panel by panel; the file must hold every record.
/// column(c) must be asked in increasing order of c and release_through(c) called when columns up to
/// c are no longer used; at most two panels beyond the oldest held one are read ahead.
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
        return reinterpret_cast<float*>(slots_.get()) + static_cast<std::size_t>(panel % kSlots) * slot_floats_ +
               static_cast<std::size_t>(col0) * col_stride_;
    }

    const RowFile& f_;
    int n_;
    int p_;  // columns per panel
    int panels_;
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
