// The connected sweep's plain kernels, the choice of kernels for this processor, and the buffered
// sweeps built on them: one on the calling thread alone, and one that shares the walk over the file
// with a second thread.

#include "core/connected_kernels.h"

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

// How many rows ahead the column walks fetch. Every value of a column lies in a cache line of its
// own, a row stride apart, so the hardware does not see the pattern; fetching well ahead keeps many
// misses in flight, and near the end of a column the fetch wraps into the next one.
constexpr int kAhead = 128;

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

// Spins for a moment: tells the processor that this is a wait loop, and after a while lets the other
// threads of the machine run, so that a busy machine does not starve the thread being waited for.
inline void relax(int& spins) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
    if (++spins >= 1024) {
        spins = 0;
        std::this_thread::yield();
    }
}

// The columns of a sweep gathered from the file ahead of their use. Column c (1-based) goes to slot
// c mod kSlots, with a(1, c) at slot[1], so that a slot serves the in-memory kernels as a 1-based
// column. Whoever gathers a column claims it first, in column order; a slot is reused only after the
// computing thread has let go of the column it held and that column was written out in full.
class ColumnRing {
  public:
    static constexpr int kSlots = 8;

    ColumnRing(const unsigned char* base, std::size_t stride, const ColumnFetch& fetch, int n, int rows)
        : base_(base),
          stride_(stride),
          fetch_(fetch),
          n_(n),
          slot_floats_(static_cast<std::size_t>(rows) + 16),
          data_(new float[slot_floats_ * (kSlots + 2)]) {
        for (auto& f : ready_) f.v.store(0, std::memory_order_relaxed);
    }

    // Claims and gathers the next column when its slot is free; false when there is none to take now.
    bool gather_next() {
        int c = next_.load(std::memory_order_relaxed);
        for (;;) {
            // Column c may overwrite the slot of column c - kSlots once the computing thread is done
            // with that one and its gatherer has finished it; the acquires order the last reads and
            // writes of the slot before these writes.
            if (c > n_ || c > done_.load(std::memory_order_acquire) + kSlots) return false;
            if (c > kSlots && ready_[c % kSlots].v.load(std::memory_order_acquire) != c - kSlots) return false;
            if (next_.compare_exchange_weak(c, c + 1, std::memory_order_relaxed)) break;
        }
        walk(c, slot(c % kSlots) + 1);
        ready_[c % kSlots].v.store(c, std::memory_order_release);
        return true;
    }

    // Column c, 1-based, once it is gathered; the calling thread gathers later columns meanwhile when
    // it can. When the column is still not there after a while (its gatherer may have lost its
    // processor on a busy machine), the calling thread reads it itself into one of two spare buffers
    // (columns c and c+1 are in use together), so that the sweep never waits on a stalled thread.
    const float* wait_for(int c) {
        int spins = 0;
        auto since = std::chrono::steady_clock::now();
        for (;;) {
            if (ready_[c % kSlots].v.load(std::memory_order_acquire) == c) return slot(c % kSlots);
            if (gather_next()) {
                since = std::chrono::steady_clock::now();
                continue;
            }
            relax(spins);
            if (spins % 64 == 0 && std::chrono::steady_clock::now() - since > std::chrono::microseconds(50)) {
                float* spare = slot(kSlots + (c & 1));
                walk(c, spare + 1);
                return spare;
            }
        }
    }

    // The computing thread no longer needs columns 1..c.
    void release_through(int c) { done_.store(c, std::memory_order_release); }

    // The second thread's work: gathers until every column is claimed or the sweep stops.
    void run() {
        int spins = 0;
        while (!stop_.load(std::memory_order_relaxed) && next_.load(std::memory_order_relaxed) <= n_)
            if (!gather_next()) relax(spins);
    }

    void stop() { stop_.store(true, std::memory_order_relaxed); }

  private:
    // Reads the n values of column c into a, fetching ahead along the column and into the next one.
    void walk(int c, float* a) const {
        const unsigned char* p = base_ + static_cast<std::size_t>(c - 1) * kRecordLength;
        for (int q = 0; q < n_; ++q, p += stride_) {
            const unsigned char* f = p + fetch_.ahead;
            __builtin_prefetch(f < fetch_.end ? f : f - fetch_.wrap, 0, 3);
            a[q] = record_value(p);
        }
    }

    // Slots 0..kSlots-1 of the ring, then the two spare buffers.
    float* slot(int k) const { return data_.get() + static_cast<std::size_t>(k) * slot_floats_; }

    struct alignas(64) Flag {
        std::atomic<int> v;
    };

    const unsigned char* base_;
    std::size_t stride_;
    ColumnFetch fetch_;
    int n_;
    std::size_t slot_floats_;
    std::unique_ptr<float[]> data_;
    Flag ready_[kSlots];  // the column each slot holds in full; 0 before its first
    alignas(64) std::atomic<int> next_{1};
    alignas(64) std::atomic<int> done_{0};
    alignas(64) std::atomic<bool> stop_{false};
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
        record_of(static_cast<int16_t>(n), i16(static_cast<long long>(n) + 1), static_cast<int16_t>(n));
    const RowFile& f = st.file3;
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

    const unsigned char* base = st.file3.bytes();
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
        update_stretch(st, kern, R + 1, kept, s, head, er);
        for (int j0 = head; j0 < n; j0 += buffer_rows) {
            const int len = n - j0 < buffer_rows ? n - j0 : buffer_rows;
            gather(col + j0 * stride, stride, fetch, len, more);
            update_stretch(st, kern, R + 1 + j0, more, s, len, er);
        }
        st.Er = er;
    }
}

void do_iteration_file_gathered(SystemState& st, GridModel& grid, const ColumnKernels& kern, int buffer_rows) {
    const int n = st.N;
    if (n < 1) return;
    if (!maps_whole_system(st) || buffer_rows < 1 || buffer_rows > kColumnBufferRows || n > buffer_rows || !kern.whole)
        return do_iteration_file_with(st, grid, kern, buffer_rows);

    const unsigned char* base = st.file3.bytes();
    const std::size_t stride = static_cast<std::size_t>(n + 1) * kRecordLength;
    const unsigned char* end = base + static_cast<std::size_t>(n) * stride;
    const ColumnFetch fetch{static_cast<std::ptrdiff_t>(kAhead * stride), end, (end - base) - kRecordLength};
    const SweepKernels& sk = *kern.whole;
    ColumnRing ring(base, stride, fetch, n, buffer_rows);
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
            j = sk.update_then_sum(R, a, s, next, n, scratch.get(), &er, &next_sum);
        } else {
            j = sk.residual_update(R, a, s, n, &er);
        }
        st.Er = er;
        if (j <= n) {
            for (; j <= n; ++j) {
                R[j] = mul_add(a[j], s, R[j]);
                check(R[j]);
                if (R[j] > st.Er) st.Er = R[j];
            }
            if (i < n) next_sum = sk.column_sum(R, next, n, scratch.get());
        }
        ring.release_through(i);
    }
}

}  // namespace varnex
