// The connected sweep's plain kernels, the choice of kernels for this processor, and the buffered
// sweep built on them.

#include "core/connected_kernels.h"

#include <cmath>
#include <cstring>
#include <string_view>

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

void show_x(GridModel& grid, int i, float x) {
    char buf[32];
    grid.set_text(i, 1, std::string_view(buf, single_to_text(x, buf)));
}

// How many rows ahead the column walks fetch. Every value of a column lies in a cache line of its
// own, a row stride apart, so the hardware does not see the pattern; fetching well ahead keeps many
// misses in flight, and near the end of a column the fetch wraps into the next one.
constexpr int kAhead = 128;

}  // namespace

const ColumnKernels& column_kernels_scalar() {
    static const ColumnKernels k{"scalar", gather_sum, update};
    return k;
}

const ColumnKernels& column_kernels_best() {
    static const ColumnKernels* best = [] {
        const ColumnKernels* wide = column_kernels_avx2();
        return wide ? wide : &column_kernels_scalar();
    }();
    return *best;
}

void do_iteration_file_with(SystemState& st, GridModel& grid, const ColumnKernels& kern, int buffer_rows) {
    const int n = st.N;
    if (n < 1) return;
    const std::size_t need = static_cast<std::size_t>(n) + 1;
    if (st.X.size() < need || st.R.size() < need || st.D.size() < need) raise(ErrorKind::Subscript);
    const std::int64_t last =
        record_of(static_cast<int16_t>(n), i16(static_cast<long long>(n) + 1), static_cast<int16_t>(n));
    const RowFile& f = st.file3;
    if (!f.is_open()) raise(ErrorKind::FileError);
    // A file that does not hold every record of the system reads some of them as 0: the plain loop.
    if (!f.bytes() || static_cast<std::uint64_t>(last - 1) * kRecordLength + 4 > f.size() || buffer_rows < 1 ||
        buffer_rows > kColumnBufferRows)
        return do_iteration_file_plain(st, grid);

    const unsigned char* base = f.bytes();
    const std::size_t stride = static_cast<std::size_t>(n + 1) * kRecordLength;
    const unsigned char* end = base + static_cast<std::size_t>(n) * stride;
    const ColumnFetch fetch{static_cast<std::ptrdiff_t>(kAhead * stride), end, (end - base) - kRecordLength};
    const int head = n < buffer_rows ? n : buffer_rows;
    // kept: rows 1..head of the current column, read by the column sum and used again by the update;
    // more: a later stretch of a column longer than the buffer; sums: the kernels' scratch.
    float kept[kColumnBufferRows];
    float more[kColumnBufferRows];
    float sums[kColumnBufferRows + 1];
    float* X = st.X.data();
    float* R = st.R.data();
    const float* D = st.D.data();

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

        const float num = -s;
        s = quot(num, D[i]);
        check_quot(s, num, D[i]);
        X[i] = static_cast<float>(static_cast<double>(s) + static_cast<double>(X[i]));
        check(X[i]);
        show_x(grid, i, X[i]);

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

}  // namespace varnex
