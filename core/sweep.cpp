// One sweep of the column relaxation on exchangeable kernels, and the plain C++ kernels.
#include <cmath>
#include <string_view>
#include <vector>

#include "core/convert.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "core/numerics.h"
#include "core/sweep_kernels.h"

namespace varnex {

namespace {

float column_sum(const float* r, const float* a, int n, float* /*buf*/) {
    float s = 0.0f;
    for (int j = 1; j <= n; ++j) s = mul_add(r[j], a[j], s);
    return s;
}

int residual_update(float* r, const float* a, float s, int n, float* er) {
    for (int j = 1; j <= n; ++j) {
        const float v = mul_add(s, a[j], r[j]);
        if (!std::isfinite(v)) return j;
        r[j] = v;
        if (v > *er) *er = v;
    }
    return n + 1;
}

int update_then_sum(float* r, const float* a, float s, const float* next, int n, float* buf, float* er, float* sum) {
    const int j = residual_update(r, a, s, n, er);
    if (j > n) *sum = column_sum(r, next, n, buf);
    return j;
}

int update_then_sum_fetching(float* r, const float* a, float s, const float* next, int n, float* buf, float* er,
                             float* sum, FetchStream f) {
    for (int k = 0; k < f.count; ++k) __builtin_prefetch(f.p + k * f.stride, 0, 3);
    return update_then_sum(r, a, s, next, n, buf, er, sum);
}

}  // namespace

const SweepKernels& sweep_kernels_scalar() {
    static const SweepKernels k{"scalar", column_sum, residual_update, update_then_sum, update_then_sum_fetching};
    return k;
}

const SweepKernels& sweep_kernels_best() {
    static const SweepKernels* best = [] {
        const SweepKernels* wide = sweep_kernels_avx2();
        return wide ? wide : &sweep_kernels_scalar();
    }();
    return *best;
}

void do_iteration_with(SystemState& st, GridModel& grid, const SweepKernels& kern) {
    const int n = st.N;
    const std::size_t need = static_cast<std::size_t>(n) + 1;
    const bool sized = n >= 0 && st.A.upper() >= n && st.R.size() >= need && st.D.size() >= need && st.X.size() >= need;
    // Bounds the plain loop refuses and its 16-bit loop end at 32767 take the plain loop.
    if (n < 1 || n >= 32767 || !sized) {
        do_iteration_plain(st, grid);
        return;
    }
    // The scratch of the column sums lives as long as the thread, so a sweep allocates nothing.
    thread_local std::vector<float> buf;
    if (buf.size() < need + 16) buf.resize(need + 16);

    float* r = st.R.data();
    char text[32];
    // The column sum of unknown 1; every later one comes with the residual update before it.
    float next_sum = kern.column_sum(r, st.A.col(1), n, buf.data());
    // i is the unknown being moved; the kernels run over the equations j.
    for (int i = 1; i <= n; ++i) {
        const float* ai = st.A.col(i);

        // s = component i of A^T (A x - b); the plain loop raises at its first non-finite term and has
        // changed nothing else by then.
        float s = next_sum;
        check(s);

        const float num = -s;
        s = quot(num, st.D[i]);
        check_quot(s, num, st.D[i]);

        st.X[i] = static_cast<float>(static_cast<double>(s) + static_cast<double>(st.X[i]));
        check(st.X[i]);

        // Residual update and its maximum; a group with a fault is redone one element at a time, so
        // that the fault is raised at its element with R and Er as the plain loop leaves them.
        st.Er = 0.0f;
        float er = 0.0f;
        int j = i < n ? kern.update_then_sum(r, ai, s, st.A.col(i + 1), n, buf.data(), &er, &next_sum)
                      : kern.residual_update(r, ai, s, n, &er);
        st.Er = er;
        if (j <= n) {
            for (; j <= n; ++j) {
                r[j] = mul_add(s, ai[j], r[j]);
                check(r[j]);
                if (r[j] > st.Er) st.Er = r[j];
            }
            if (i < n) next_sum = kern.column_sum(r, st.A.col(i + 1), n, buf.data());
        }

        const int16_t col = int16_or_overflow(x_column(n));
        grid.set_text(i, col, std::string_view(text, single_to_text(st.X[i], text)));
    }
}

}  // namespace varnex
