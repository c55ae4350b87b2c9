// The connected sweeps on the column kernels: one on the calling thread alone over the mapped file, one
// that shares the walk over the file with a second thread, and one over a streamed file.

#include "core/connected_sweeps.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "core/column_ring.h"
#include "core/convert.h"
#include "core/exact.h"
#include "core/numerics.h"
#include "core/panel_stream.h"

namespace varnex {

namespace {

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

// Steps 1 to 4 of a connected sweep for unknown i, from its column sum s: s checked, the step -s/D(i),
// the new X(i), each checked, and its text in grid cell (i, 1); then Er cleared for the residual update
// that follows. Returns the step.
float move_unknown(SystemState& st, GridModel& grid, int i, float s) {
    check(s);
    const float num = -s;
    s = quot(num, st.D[i]);
    check_quot(s, num, st.D[i]);
    float& x = st.X[i];
    x = static_cast<float>(static_cast<double>(s) + static_cast<double>(x));
    check(x);
    char buf[32];
    grid.set_text(i, 1, std::string_view(buf, single_to_text(x, buf)));
    st.Er = 0.0f;
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
// misses in flight, and near the end of a column the fetch wraps into the next one. Chosen by
// measurement at order 2000 (connected_bench, BM_SweepOneThreadVsMemory): the walk on one thread is
// fastest from 192 rows on a file mapped in 2 MB pages, and the walks of two threads slow down
// beyond it.
constexpr int kAhead = 192;

// Equations per stretch of a fused step (a multiple of the kernels' group of eight): short stretches
// keep the walk's fetches going out while the update of the stretch before computes.
constexpr int kFusedRows = 24;

// The loop of the in-memory sweep over whole columns that `cols` hands out (1-based, a(j, c) at
// [j]): the residual update of unknown i comes with the column sum of unknown i+1 over the updated
// residual; the sum of unknown 1 is taken alone. scratch holds n + 16 floats, and at least
// kFusedRows + 1.
template <class Columns>
void sweep_whole_columns(SystemState& st, GridModel& grid, const SweepKernels& sk, Columns& cols, float* scratch) {
    const int n = st.N;
    float* R = st.R.data();
    const float* a = cols.column(1);
    float next_sum = sk.column_sum(R, a, n, scratch);
    // i: the unknown being moved; the kernels run over the equations 1..n.
    for (int i = 1; i <= n; ++i) {
        // next_sum is the i-th component of A'(A x - b). Nothing but it changes while it is formed, so a
        // fault found at its end stops the sweep in the same state as one found at its term.
        const float s = move_unknown(st, grid, i, next_sum);

        // R += s * column i and Er = max(0, R); a group with a fault is redone one element at a time,
        // so that the fault is raised at its element with R and Er as the plain loop leaves them.
        float er = 0.0f;
        const float* next = nullptr;
        const int j = i < n ? cols.update_then_sum(sk, i, R, a, s, n, scratch, &er, &next_sum, &next)
                            : sk.residual_update(R, a, s, n, &er);
        st.Er = er;
        if (j <= n) finish_update_from(st, sk, R, a, s, j, next, next_sum, scratch);
        cols.release_through(i);
        a = next;
    }
}

// do_iteration_file_with for columns that fit the buffer: the residual update of unknown i runs stretch
// by stretch together with the walk of column i+1 and its column sum over the updated residual, so
// that the update's arithmetic runs in the shadow of the walk's misses instead of between two walks.
// Each term of the sum at equation j comes after the update of R(j), as in the plain loop, and a fault
// of the update is raised at its element before any later equation is updated; a fault of the sum only
// shows in s, which is checked when unknown i+1 is moved, as the plain loop would find it after the
// update. a and next hold n floats each, sums n + 1.
void sweep_mapped_fused(SystemState& st, GridModel& grid, const ColumnKernels& kern, const unsigned char* base,
                        std::size_t stride, const ColumnFetch& fetch, float* a, float* next, float* sums) {
    const int n = st.N;
    float* R = st.R.data();
    float next_sum = kern.gather_sum(base, stride, fetch, R + 1, n, 0.0f, a, sums);
    for (int i = 1; i <= n; ++i) {
        const float s = move_unknown(st, grid, i, next_sum);

        float er = 0.0f;
        if (i == n) {
            update_stretch(st, kern, R + 1, a, s, n, er);
        } else {
            // q0: first equation of a stretch, from 0; column i+1 starts at record i+1.
            const unsigned char* col = base + static_cast<std::size_t>(i) * kRecordLength;
            next_sum = 0.0f;
            for (int q0 = 0; q0 < n; q0 += kFusedRows) {
                const int m = n - q0 < kFusedRows ? n - q0 : kFusedRows;
                const int q = q0 + kern.update(R + 1 + q0, a + q0, s, m, &er);
                if (q < q0 + m) {
                    // A group with a fault: the rest of the update one element at a time (it raises
                    // there), then the rest of the sum.
                    update_stretch(st, kern, R + 1 + q, a + q, s, n - q, er);
                    next_sum = kern.gather_sum(col + q0 * stride, stride, fetch, R + 1 + q0, n - q0, next_sum,
                                               next + q0, sums);
                    break;
                }
                next_sum = kern.gather_sum(col + q0 * stride, stride, fetch, R + 1 + q0, m, next_sum, next + q0, sums);
            }
            std::swap(a, next);
        }
        st.Er = er;
    }
}

// The residual update of unknown i over the equations 1..n (R and a 1-based) fused with the walk of
// column c from the file at col into next[1..n] and its column sum over the updated residual, stretch
// by stretch as in sweep_mapped_fused. Returns n + 1 with the sum in *next_sum, or the equation of a
// group whose update met a fault, with R updated before it and the rest of column c read, so that the
// caller redoes the update from there one element at a time. sums holds kFusedRows + 1 floats.
int update_then_walk(const ColumnKernels& kern, float* R, const float* a, float s, const unsigned char* col,
                     std::size_t stride, const ColumnFetch& fetch, float* next, int n, float* sums, float* er,
                     float* next_sum) {
    float sum = 0.0f;
    for (int q0 = 0; q0 < n; q0 += kFusedRows) {
        const int m = n - q0 < kFusedRows ? n - q0 : kFusedRows;
        const int q = q0 + kern.update(R + 1 + q0, a + 1 + q0, s, m, er);
        if (q < q0 + m) {
            gather_column(col + q0 * stride, stride, fetch, n - q0, next + 1 + q0);
            return q + 1;
        }
        sum = kern.gather_sum(col + q0 * stride, stride, fetch, R + 1 + q0, m, sum, next + 1 + q0, sums);
    }
    *next_sum = sum;
    return n + 1;
}

// The columns of a sweep on two threads, from the ring that the second thread fills.
struct RingColumns {
    ColumnRing& ring;
    const ColumnKernels& kern;
    const unsigned char* base;
    std::size_t stride;
    const ColumnFetch& fetch;
    int fetch_rows;  // rows of a later column that the computing thread claims per step

    const float* column(int c) { return ring.wait_for(c); }
    // The step of unknown i. When the other thread has not begun column i+1 (it is behind, or has
    // lost its processor on a busy machine), this thread walks that column itself under the update,
    // as the sweep on one thread does; otherwise rows of a later column are fetched while the step
    // computes on the gathered column, and read right after it, before anything here can raise a fault.
    int update_then_sum(const SweepKernels& sk, int i, float* R, const float* a, float s, int n, float* scratch,
                        float* er, float* next_sum, const float** next) {
        ring.note_processor();
        if (float* mine = ring.claim_whole(i + 1)) {
            const unsigned char* col = base + static_cast<std::size_t>(i) * kRecordLength;
            const int j = update_then_walk(kern, R, a, s, col, stride, fetch, mine, n, scratch, er, next_sum);
            ring.written(i + 1);
            *next = mine;
            return j;
        }
        *next = ring.wait_for(i + 1);
        const ColumnRing::Claim ahead = ring.claim_ahead(i + 2, fetch_rows);
        const int j = sk.update_then_sum_fetching(R, a, s, *next, n, scratch, er, next_sum, ring.stream(ahead));
        ring.finish(ahead);
        return j;
    }
    void release_through(int i) { ring.release_through(i); }
};

// The columns of a sweep over a streamed file, panel by panel.
struct PanelColumns {
    PanelStream& panels;

    const float* column(int c) { return panels.column(c); }
    int update_then_sum(const SweepKernels& sk, int i, float* R, const float* a, float s, int n, float* scratch,
                        float* er, float* next_sum, const float** next) {
        *next = panels.column(i + 1);
        return sk.update_then_sum(R, a, s, *next, n, scratch, er, next_sum);
    }
    // The reads that finished during the step make room for the next ones.
    void release_through(int i) {
        panels.release_through(i);
        panels.pump();
    }
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
    // more: the next column while the update runs (whole columns), or a later stretch of a column
    // longer than the buffer; sums: the kernels' scratch.
    float kept[kColumnBufferRows];
    float more[kColumnBufferRows];
    float sums[kColumnBufferRows + 1];
    float* R = st.R.data();
    if (head == n) return sweep_mapped_fused(st, grid, kern, base, stride, fetch, kept, more, sums);

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
        s = move_unknown(st, grid, i, s);

        // R += s * column i, and Er = max(0, R) over the updated residual; rows past the buffer are
        // read from the file again.
        float er = 0.0f;
        update_stretch(st, kern, R + 1, kept, s, head, er);
        for (int j0 = head; j0 < n; j0 += buffer_rows) {
            const int len = n - j0 < buffer_rows ? n - j0 : buffer_rows;
            gather_column(col + j0 * stride, stride, fetch, len, more);
            update_stretch(st, kern, R + 1 + j0, more, s, len, er);
        }
        st.Er = er;
    }
}

void do_iteration_file_gathered(SystemState& st, GridModel& grid, const ColumnKernels& kern, int buffer_rows,
                                int chunk_rows, bool second_thread) {
    const int n = st.N;
    if (n < 1) return;
    if (!maps_whole_system(st) || buffer_rows < 1 || buffer_rows > kColumnBufferRows || n > buffer_rows ||
        chunk_rows < 1 || !kern.whole)
        return do_iteration_file_with(st, grid, kern, buffer_rows);

    const unsigned char* base = st.solve_row_file.bytes();
    const std::size_t stride = static_cast<std::size_t>(n + 1) * kRecordLength;
    const unsigned char* end = base + static_cast<std::size_t>(n) * stride;
    const ColumnFetch fetch{static_cast<std::ptrdiff_t>(kAhead * stride), end, (end - base) - kRecordLength};
    ColumnRing ring(base, stride, fetch, n, buffer_rows, chunk_rows);
    // The kernels fetch four records per eight equations, so a step covers about n/2 of them; the
    // second thread reads the rest of the column meanwhile.
    RingColumns cols{ring, kern, base, stride, fetch, n / 2 > 0 ? n / 2 : 1};
    std::unique_ptr<float[]> scratch(new float[static_cast<std::size_t>(std::max(buffer_rows, kFusedRows)) + 16]);
    std::optional<Gatherer> second;
    if (second_thread) second.emplace(ring);
    sweep_whole_columns(st, grid, *kern.whole, cols, scratch.get());
}

void do_iteration_file_streamed(SystemState& st, GridModel& grid, const ColumnKernels& kern, int panel_cols) {
    const int n = st.N;
    if (n < 1) return;
    if (!maps_whole_system(st) || !kern.whole) return do_iteration_file_with(st, grid, kern, kColumnBufferRows);

    PanelStream panels(st.solve_row_file, n, panel_cols, st.solve_row_file.take_seed(n));
    PanelColumns cols{panels};
    std::unique_ptr<float[]> scratch(new float[static_cast<std::size_t>(std::max(n, kFusedRows)) + 16]);
    sweep_whole_columns(st, grid, *kern.whole, cols, scratch.get());
}

}  // namespace varnex
