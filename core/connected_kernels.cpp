// The connected sweep's plain kernels, the choice of kernels for this processor, and the buffered
// sweeps built on them: one on the calling thread alone, and one that shares the walk over the file
// with a second thread.

#include "core/connected_kernels.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>
#include <thread>

#include "core/convert.h"
#include "core/exact.h"
#include "core/numerics.h"
#include "core/row_stream.h"
#include "core/wait_word.h"

namespace varnex {

namespace {

inline const unsigned char* fetch_address(const unsigned char* p, const ColumnFetch& fetch) {
    const unsigned char* f = p + fetch.ahead;
    return f < fetch.end ? f : f - fetch.wrap;
}

float gather_sum(const unsigned char* p, std::size_t stride, const ColumnFetch& fetch, const float* r, int len,
                 float s0, float* a, float* /*sums*/) {
    float s = s0;
    for (int q = 0; q < len; ++q, p += stride) {
        __builtin_prefetch(fetch_address(p, fetch), 0, 3);
        a[q] = record_value(p);
        s = mul_add(a[q], r[q], s);
    }
    return s;
}

int update(float* r, const float* a, float s, int len, float* er) {
    for (int q = 0; q < len; ++q) {
        const float v = mul_add(a[q], s, r[q]);
        if (!std::isfinite(v)) return q;
        r[q] = v;
        if (v > *er) *er = v;
    }
    return len;
}

// Reads len values of a column stretch into a, fetching ahead as the kernels do.
void gather(const unsigned char* p, std::size_t stride, const ColumnFetch& fetch, int len, float* a) {
    for (int q = 0; q < len; ++q, p += stride) {
        __builtin_prefetch(fetch_address(p, fetch), 0, 3);
        a[q] = record_value(p);
    }
}

// The residual update of a stretch by the kernel; at a group with a fault the stretch is finished one
// element at a time, so that the fault is raised at its element with R and Er as the plain loop
// leaves them.
void update_stretch(SystemState& st, const ColumnKernels& kern, float* r, const float* a, float s, int len, float& er) {
    int q = kern.update(r, a, s, len, &er);
    for (; q < len; ++q) {
        r[q] = mul_add(a[q], s, r[q]);
        if (!std::isfinite(r[q])) {
            st.Er = er;
            raise(ErrorKind::Overflow);
        }
        if (r[q] > er) er = r[q];
    }
}

// Elements of a residual update between two bursts of fetches of the next column (a multiple of the
// kernels' group of eight, so that the groups and a fault's place are those of one call).
constexpr int kUpdateBlock = 64;

// update_stretch over a whole column that also fetches `rows` records of the next column from
// `ahead` on, a few after every block: the vector update then runs in the shadow of the next
// column's misses instead of leaving the memory idle between two column walks.
void update_stretch_fetching(SystemState& st, const ColumnKernels& kern, float* r, const float* a, float s, int len,
                             float& er, const unsigned char* ahead, std::size_t stride, int rows) {
    const int blocks = (len + kUpdateBlock - 1) / kUpdateBlock;
    const int per_block = blocks > 0 ? (rows + blocks - 1) / blocks : 0;
    for (int q0 = 0; q0 < len; q0 += kUpdateBlock) {
        for (int k = 0; k < per_block && rows > 0; ++k, --rows, ahead += stride) __builtin_prefetch(ahead, 0, 3);
        const int m = len - q0 < kUpdateBlock ? len - q0 : kUpdateBlock;
        // At a group with a fault, the rest of the stretch goes the way of update_stretch from there.
        const int q = q0 + kern.update(r + q0, a + q0, s, m, &er);
        if (q < q0 + m) return update_stretch(st, kern, r + q, a + q, s, len - q, er);
    }
}

// Steps 2 to 4 of a connected sweep for unknown i, from its column sum s: the step -s/D(i), the new
// X(i), each checked, and its text in grid cell (i, 1) before the residual is updated. Returns the step.
float move_unknown(SystemState& st, GridModel& grid, int i, float s) {
    const float num = -s;
    s = quot(num, st.D[i]);
    check_quot(s, num, st.D[i]);
    float& x = st.X[i];
    x = static_cast<float>(static_cast<double>(s) + static_cast<double>(x));
    check(x);
    char buf[32];
    grid.set_text(i, 1, std::string_view(buf, single_to_text(x, buf)));
    return s;
}

// After a vector residual update that met a fault at equation j (j <= n): redoes R += s * a from j
// one element at a time, so that the fault is raised at its element with R and Er as the plain loop
// leaves them; without a fault, the next unknown's column sum is taken again over the finished R.
void finish_update_from(SystemState& st, const SweepKernels& sk, float* R, const float* a, float s, int j,
                        const float* next, float& next_sum, float* scratch) {
    const int n = st.N;
    for (; j <= n; ++j) {
        R[j] = mul_add(a[j], s, R[j]);
        check(R[j]);
        if (R[j] > st.Er) st.Er = R[j];
    }
    if (next) next_sum = sk.column_sum(R, next, n, scratch);
}

// How many rows ahead the column walks fetch. Every value of a column lies in a cache line of its
// own, a row stride apart, so the hardware does not see the pattern; fetching well ahead keeps many
// misses in flight, and near the end of a column the fetch wraps into the next one.
constexpr int kAhead = 128;
// The share (1 in this many) of the next column's rows that a residual update over a whole column
// fetches: measured at order 2000, 1/8 saves about 3 % of a sweep, 1/3 and more cost time.
constexpr int kUpdateFetchShare = 8;

}  // namespace

const ColumnKernels& column_kernels_scalar() {
    static const ColumnKernels k{"scalar", gather_sum, update, &sweep_kernels_scalar()};
    return k;
}

const ColumnKernels& column_kernels_best() {
    static const ColumnKernels* best = [] {
        const ColumnKernels* wide = column_kernels_avx2();
        return wide ? wide : &column_kernels_scalar();
    }();
    return *best;
}

namespace {

// How long the computing thread sleeps for rows that the other thread has claimed but not yet written
// before it reads the whole column itself: that thread may have lost its processor on a busy machine.
constexpr std::chrono::microseconds kStallTimeout{50};
// Columns that the computing thread must let go of before a sleeping second thread is woken: it then
// reads several columns in a row instead of waking for each one.
constexpr int kWakeBatch = 4;

// The columns of a sweep gathered from the file ahead of their use. The second thread reads the
// columns in order, each from its top down, running ahead of the computing thread; when the computing
// thread needs a column that is not complete yet, it reads that column from the bottom up until the
// two meet, so that both threads share the reading of the very column that is waited for. Before
// each step the computing thread also claims rows from the bottom of a later column, which the step's
// kernel fetches into the cache while its arithmetic waits on its own roundings, and reads them after
// the step: that thread's misses then overlap its arithmetic instead of following it. Rows are
// claimed from either end of a column with one compare-and-swap on a word that holds the column and
// both ends. Column c (1-based) goes to slot (c-1) mod kSlots, with a(1, c) at slot[1], so
// that a slot serves the in-memory kernels as a 1-based column. A slot takes its next column only
// after the computing thread has let go of the one it held and every row of that one was written.
class ColumnRing {
  public:
    static constexpr int kSlots = 8;

    ColumnRing(const unsigned char* base, std::size_t stride, const ColumnFetch& fetch, int n, int rows, int chunk_rows)
        : base_(base),
          stride_(stride),
          fetch_(fetch),
          n_(n),
          chunk_(chunk_rows),
          slot_floats_(static_cast<std::size_t>(rows) + 16),
          data_(new float[slot_floats_ * (kSlots + 2)]) {
        for (auto& s : slots_) {
            s.claims.store(0, std::memory_order_relaxed);
            s.filled.store(0, std::memory_order_relaxed);
        }
    }

    // Column c, 1-based, once it is complete; meanwhile the calling thread reads it from the bottom,
    // and once every row is claimed it sleeps until the other thread has written its last ones. When
    // that takes longer than kStallTimeout (the other thread may have lost its processor on a busy
    // machine), the calling thread reads the whole column itself into one of two spare
    // buffers (columns c and c+1 are in use together), so that the sweep never waits on a stalled
    // thread.
    const float* wait_for(int c) {
        Slot& s = slots_[slot_of(c)];
        const std::int64_t complete = (uses_before(c) + 1) * n_;
        for (;;) {
            const std::uint32_t seen = written_.seen();
            if (s.filled.load(std::memory_order_acquire) == complete) return slot(slot_of(c));
            if (open(c) && take(c, false)) continue;
            // Every row is claimed and the other thread is writing its last ones: sleep until it has.
            if (!written_.wait(seen, kStallTimeout)) {
                float* spare = slot(kSlots + (c & 1));
                walk_down(c, 0, n_, spare + 1);
                return spare;
            }
        }
    }

    // The computing thread no longer needs columns 1..c.
    // A second thread that sleeps for a free slot is woken once kWakeBatch columns more are let go of.
    void release_through(int c) {
        done_.store(c, std::memory_order_seq_cst);
        if (c >= wake_at_.load(std::memory_order_seq_cst)) released_.bump();
    }

    // Rows of one column claimed by one thread: rows first+1 .. first+len of column c.
    struct Claim {
        int c = 0, first = 0, len = 0;
        bool from_top = false;
    };

    // For the computing thread before a step: claims up to rows rows from the bottom of the first
    // column from column `from` on that has rows left to claim, to be fetched while the step computes
    // and read after it; len 0 when there is none to take now.
    Claim claim_ahead(int from, int rows) {
        for (int c = from; c <= n_; ++c) {
            if (!open(c)) break;
            const Claim cl = claim(c, false, rows);
            if (cl.len > 0) return cl;
        }
        return Claim{};
    }

    // The records of a claim, in the order in which finish reads them.
    FetchStream stream(const Claim& cl) const {
        if (cl.len == 0) return FetchStream{};
        if (cl.from_top) return FetchStream{row(cl.c, cl.first), static_cast<std::ptrdiff_t>(stride_), cl.len};
        return FetchStream{row(cl.c, cl.first + cl.len - 1), -static_cast<std::ptrdiff_t>(stride_), cl.len};
    }

    // Reads the rows of a claim into the slot of its column.
    void finish(const Claim& cl) {
        if (cl.len == 0) return;
        float* a = slot(slot_of(cl.c)) + 1 + cl.first;
        if (cl.from_top)
            walk_down(cl.c, cl.first, cl.len, a);
        else
            walk_up(cl.c, cl.first, cl.len, a);
        slots_[slot_of(cl.c)].filled.fetch_add(cl.len, std::memory_order_acq_rel);
        written_.bump();
    }

    // The second thread's work: reads the columns from the top down, in order, until all are claimed
    // or the sweep stops. While the slot of its next column is held, it sleeps.
    void run() {
        int c = 1;
        while (c <= n_ && !stop_.load(std::memory_order_seq_cst)) {
            // The wake-up threshold only grows, so a computing thread that reads an older one wakes
            // this thread no later than it should.
            wake_at_.store(std::min(c - kSlots + kWakeBatch, n_), std::memory_order_seq_cst);
            const std::uint32_t seen = released_.seen();
            if (!open(c)) {
                if (!stop_.load(std::memory_order_seq_cst)) released_.wait(seen);
            } else if (!take(c, true)) {
                ++c;
            }
        }
    }

    void stop() {
        stop_.store(true, std::memory_order_seq_cst);
        released_.bump();
    }

  private:
    // The claims word of a slot: the column it holds, the first row not claimed from the top and the
    // row after the last not claimed from the bottom (rows counted from 0); the column is fully
    // claimed when the two ends meet.
    static std::uint64_t pack(int c, int top, int bottom) {
        return static_cast<std::uint64_t>(c) << 42 | static_cast<std::uint64_t>(top) << 21 |
               static_cast<std::uint64_t>(bottom);
    }
    static int column(std::uint64_t w) { return static_cast<int>(w >> 42); }
    static int top(std::uint64_t w) { return static_cast<int>(w >> 21 & 0x1FFFFF); }
    static int bottom(std::uint64_t w) { return static_cast<int>(w & 0x1FFFFF); }

    // True when the slot of column c holds c, after moving it on to c if it may: the computing thread
    // has let go of the column c - kSlots that it held before, and every row of that one is written
    // (the acquires order the last reads and writes of the slot before the writes of column c).
    bool open(int c) {
        Slot& s = slots_[slot_of(c)];
        std::uint64_t w = s.claims.load(std::memory_order_acquire);
        if (column(w) == c) return true;
        if (c > done_.load(std::memory_order_acquire) + kSlots) return false;
        if (s.filled.load(std::memory_order_acquire) != uses_before(c) * n_) return false;
        s.claims.compare_exchange_strong(w, pack(c, 0, n_), std::memory_order_acq_rel);
        return column(s.claims.load(std::memory_order_acquire)) == c;
    }

    // Claims the next chunk of column c from its top (or its bottom) and reads it; false when the
    // whole column is claimed.
    bool take(int c, bool from_top) {
        const Claim cl = claim(c, from_top, chunk_);
        if (cl.len == 0) return false;
        finish(cl);
        return true;
    }

    // Claims up to rows rows of column c from its top (or its bottom); len 0 when the whole column is
    // claimed.
    Claim claim(int c, bool from_top, int rows) {
        Slot& s = slots_[slot_of(c)];
        std::uint64_t w = s.claims.load(std::memory_order_relaxed);
        for (;;) {
            if (column(w) != c || top(w) >= bottom(w)) return Claim{};
            const int t = top(w), b = bottom(w);
            const int first = from_top ? t : (b - rows > t ? b - rows : t);
            const int last = from_top ? (t + rows < b ? t + rows : b) : b;
            if (s.claims.compare_exchange_weak(w, from_top ? pack(c, last, b) : pack(c, t, first),
                                               std::memory_order_relaxed))
                return Claim{c, first, last - first, from_top};
        }
    }

    // Reads rows first+1 .. first+len of column c into a[0..len-1] from the top down, fetching ahead
    // along the column and, near its end, into the next one.
    void walk_down(int c, int first, int len, float* a) const { gather(row(c, first), stride_, fetch_, len, a); }

    // The same rows from the bottom up, fetching ahead upwards while that stays in the column.
    void walk_up(int c, int first, int len, float* a) const {
        const unsigned char* top = row(c, 0);
        const unsigned char* p = row(c, first + len - 1);
        for (int q = len - 1; q >= 0; --q, p -= stride_) {
            if (p - top >= fetch_.ahead) __builtin_prefetch(p - fetch_.ahead, 0, 3);
            a[q] = record_value(p);
        }
    }

    // The record of row r (from 0) of column c.
    const unsigned char* row(int c, int r) const {
        return base_ + static_cast<std::size_t>(c - 1) * kRecordLength + static_cast<std::size_t>(r) * stride_;
    }

    static int slot_of(int c) { return (c - 1) % kSlots; }
    // How many columns held the slot of column c before it.
    static std::int64_t uses_before(int c) { return (c - 1) / kSlots; }

    // Slots 0..kSlots-1 of the ring, then the two spare buffers.
    float* slot(int k) const { return data_.get() + static_cast<std::size_t>(k) * slot_floats_; }

    struct alignas(64) Slot {
        std::atomic<std::uint64_t> claims;             // see pack
        alignas(64) std::atomic<std::int64_t> filled;  // rows written into the slot, over all its columns
    };

    const unsigned char* base_;
    std::size_t stride_;
    ColumnFetch fetch_;
    int n_;
    int chunk_;
    std::size_t slot_floats_;
    std::unique_ptr<float[]> data_;
    Slot slots_[kSlots];
    alignas(64) std::atomic<int> done_{0};
    alignas(64) std::atomic<int> wake_at_{0};  // see release_through
    alignas(64) std::atomic<bool> stop_{false};
    alignas(64) WaitWord released_;  // the computing thread let go of columns (or the sweep stops)
    alignas(64) WaitWord written_;   // rows were written into a slot
};

// The second thread of a sweep, stopped and joined when the sweep leaves by any way.
class Gatherer {
  public:
    explicit Gatherer(ColumnRing& ring) : ring_(ring), thread_([&ring] { ring.run(); }) {}
    Gatherer(const Gatherer&) = delete;
    Gatherer& operator=(const Gatherer&) = delete;
    ~Gatherer() {
        ring_.stop();
        thread_.join();
    }

  private:
    ColumnRing& ring_;
    std::thread thread_;
};

// Checks the vectors and the open row file for a sweep of order st.N >= 1 (RunError on failure) and
// tells whether the mapping holds every record of the system, so the fast readers may be used.
bool maps_whole_system(const SystemState& st) {
    const int n = st.N;
    const std::size_t need = static_cast<std::size_t>(n) + 1;
    if (st.X.size() < need || st.R.size() < need || st.D.size() < need) raise(ErrorKind::Subscript);
    const std::int64_t last =
        record_of(static_cast<int16_t>(n), int16_or_overflow(static_cast<long long>(n) + 1), static_cast<int16_t>(n));
    const RowFile& f = st.solve_row_file;
    if (!f.is_open()) raise(ErrorKind::FileError);
    return f.bytes() && static_cast<std::uint64_t>(last - 1) * kRecordLength + 4 <= f.size();
}

}  // namespace

void do_iteration_file_with(SystemState& st, GridModel& grid, const ColumnKernels& kern, int buffer_rows) {
    const int n = st.N;
    if (n < 1) return;
    // A file that does not hold every record of the system reads some of them as 0: the plain loop.
    if (!maps_whole_system(st) || buffer_rows < 1 || buffer_rows > kColumnBufferRows)
        return do_iteration_file_plain(st, grid);

    const unsigned char* base = st.solve_row_file.bytes();
    const std::size_t stride = static_cast<std::size_t>(n + 1) * kRecordLength;
    const unsigned char* end = base + static_cast<std::size_t>(n) * stride;
    const ColumnFetch fetch{static_cast<std::ptrdiff_t>(kAhead * stride), end, (end - base) - kRecordLength};
    const int head = n < buffer_rows ? n : buffer_rows;
    // kept: rows 1..head of the current column, read by the column sum and used again by the update;
    // more: a later stretch of a column longer than the buffer; sums: the kernels' scratch.
    float kept[kColumnBufferRows];
    float more[kColumnBufferRows];
    float sums[kColumnBufferRows + 1];
    float* R = st.R.data();

    // i: the unknown being moved (its column starts at record i); j0: first equation of a stretch,
    // counted from 0; a stretch covers the equations j0+1 .. j0+len, one row stride apart.
    for (int i = 1; i <= n; ++i) {
        const unsigned char* col = base + static_cast<std::size_t>(i - 1) * kRecordLength;

        // s = the i-th component of A'(A x - b). Nothing but s changes here, so a fault found at the
        // end of a stretch stops the sweep in the same state as one found at its term.
        float s = kern.gather_sum(col, stride, fetch, R + 1, head, 0.0f, kept, sums);
        for (int j0 = head; j0 < n && std::isfinite(s); j0 += buffer_rows) {
            const int len = n - j0 < buffer_rows ? n - j0 : buffer_rows;
            s = kern.gather_sum(col + j0 * stride, stride, fetch, R + 1 + j0, len, s, more, sums);
        }
        check(s);

        s = move_unknown(st, grid, i, s);

        // R += s * column i, and Er = max(0, R) over the updated residual; rows past the buffer are
        // read from the file again.
        st.Er = 0.0f;
        float er = 0.0f;
        if (head == n && i < n) {
            // The walk of the next column has fetched its first kAhead rows; the update fetches the
            // next stretch of it, as many rows as it can take without crowding the walk's misses.
            const int rows = std::min(n - kAhead, n / kUpdateFetchShare);
            update_stretch_fetching(st, kern, R + 1, kept, s, head, er, col + kRecordLength + kAhead * stride, stride,
                                    rows > 0 ? rows : 0);
        } else {
            update_stretch(st, kern, R + 1, kept, s, head, er);
        }
        for (int j0 = head; j0 < n; j0 += buffer_rows) {
            const int len = n - j0 < buffer_rows ? n - j0 : buffer_rows;
            gather(col + j0 * stride, stride, fetch, len, more);
            update_stretch(st, kern, R + 1 + j0, more, s, len, er);
        }
        st.Er = er;
    }
}

void do_iteration_file_gathered(SystemState& st, GridModel& grid, const ColumnKernels& kern, int buffer_rows,
                                int chunk_rows) {
    const int n = st.N;
    if (n < 1) return;
    if (!maps_whole_system(st) || buffer_rows < 1 || buffer_rows > kColumnBufferRows || n > buffer_rows ||
        chunk_rows < 1 || !kern.whole)
        return do_iteration_file_with(st, grid, kern, buffer_rows);

    const unsigned char* base = st.solve_row_file.bytes();
    const std::size_t stride = static_cast<std::size_t>(n + 1) * kRecordLength;
    const unsigned char* end = base + static_cast<std::size_t>(n) * stride;
    const ColumnFetch fetch{static_cast<std::ptrdiff_t>(kAhead * stride), end, (end - base) - kRecordLength};
    const SweepKernels& sk = *kern.whole;
    ColumnRing ring(base, stride, fetch, n, buffer_rows, chunk_rows);
    // The kernels fetch four records per eight equations, so a step covers about n/2 of them; the
    // second thread reads the rest of the column meanwhile.
    const int fetch_rows = n / 2 > 0 ? n / 2 : 1;
    std::unique_ptr<float[]> scratch(new float[static_cast<std::size_t>(buffer_rows) + 16]);
    float* R = st.R.data();
    Gatherer second(ring);

    // As in the in-memory sweep, the residual update of unknown i comes with the column sum of unknown
    // i+1 over the updated residual; the sum of unknown 1 is taken alone.
    const float* next = ring.wait_for(1);
    float next_sum = sk.column_sum(R, next, n, scratch.get());
    // i: the unknown being moved; the kernels run over the equations 1..n.
    for (int i = 1; i <= n; ++i) {
        const float* a = next;

        // s = the i-th component of A'(A x - b). Nothing but s changes while it is formed, so a fault
        // found at its end stops the sweep in the same state as one found at its term.
        float s = next_sum;
        check(s);

        s = move_unknown(st, grid, i, s);

        // R += s * column i and Er = max(0, R); a group with a fault is redone one element at a time,
        // so that the fault is raised at its element with R and Er as the plain loop leaves them.
        st.Er = 0.0f;
        float er = 0.0f;
        int j = n + 1;
        if (i < n) {
            next = ring.wait_for(i + 1);
            // Rows of a later column are fetched while this step computes, and read right after it,
            // before anything here can raise a fault.
            const ColumnRing::Claim ahead = ring.claim_ahead(i + 2, fetch_rows);
            j = sk.update_then_sum_fetching(R, a, s, next, n, scratch.get(), &er, &next_sum, ring.stream(ahead));
            ring.finish(ahead);
        } else {
            j = sk.residual_update(R, a, s, n, &er);
        }
        st.Er = er;
        if (j <= n) finish_update_from(st, sk, R, a, s, j, i < n ? next : nullptr, next_sum, scratch.get());
        ring.release_through(i);
    }
}

void do_iteration_file_streamed(SystemState& st, GridModel& grid, const ColumnKernels& kern, int panel_cols) {
    const int n = st.N;
    if (n < 1) return;
    if (!maps_whole_system(st) || !kern.whole) return do_iteration_file_with(st, grid, kern, kColumnBufferRows);

    const SweepKernels& sk = *kern.whole;
    PanelStream cols(st.solve_row_file, n, panel_cols, st.solve_row_file.take_seed(n));
    std::unique_ptr<float[]> scratch(new float[static_cast<std::size_t>(n) + 16]);
    float* R = st.R.data();

    // The loop of the in-memory sweep over whole columns: the residual update of unknown i comes with
    // the column sum of unknown i+1 over the updated residual; the sum of unknown 1 is taken alone.
    const float* next = cols.column(1);
    float next_sum = sk.column_sum(R, next, n, scratch.get());
    // i: the unknown being moved; the kernels run over the equations 1..n.
    for (int i = 1; i <= n; ++i) {
        const float* a = next;
        float s = next_sum;
        check(s);

        s = move_unknown(st, grid, i, s);

        // R += s * column i and Er = max(0, R); a group with a fault is redone one element at a time,
        // so that the fault is raised at its element with R and Er as the plain loop leaves them.
        st.Er = 0.0f;
        float er = 0.0f;
        int j = n + 1;
        if (i < n) {
            next = cols.column(i + 1);
            j = sk.update_then_sum(R, a, s, next, n, scratch.get(), &er, &next_sum);
        } else {
            j = sk.residual_update(R, a, s, n, &er);
        }
        st.Er = er;
        if (j <= n) finish_update_from(st, sk, R, a, s, j, i < n ? next : nullptr, next_sum, scratch.get());
        cols.release_through(i);
        // The reads that finished during the step make room for the next ones.
        cols.pump();
    }
}

}  // namespace varnex
