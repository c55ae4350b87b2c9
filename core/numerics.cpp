// The in-memory numerics as plain loops: the starting solution by Gaussian elimination, the set-up of
// the residual and the column norms, and one sweep of the column relaxation. Each loop follows the
// method step by step, with the operand order and the single-precision rounding of every stored value
// fixed, so that the faster kernels elsewhere can be compared with these bit for bit.
#include "core/numerics.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "core/split_in_two.h"

namespace varnex {

namespace {

// Indices are 16-bit: a loop whose last value is 32767 overflows when its counter steps past the end,
// after the last pass has run. Called where a loop with upper bound `last` leaves.
inline void check_counter_after_loop(int last) {
    if (last == 32767) [[unlikely]]
        raise(ErrorKind::Overflow);
}

// A procedure reading or writing an array beyond its bounds 0..n fails before it starts.
inline void check_bounds(const SquareMatrix& m, int n) {
    if (m.upper() < n) raise(ErrorKind::Subscript);
}
inline void check_bounds(const std::vector<float>& v, int n) {
    if (v.size() < static_cast<std::size_t>(n) + 1) raise(ErrorKind::Subscript);
}

// From this order on the residual's equations are shared out between two threads.
constexpr int kResidualThreadOrder = 512;

// a + b evaluated in double from float operands and rounded to float.
inline float add(float a, float b) { return static_cast<float>(static_cast<double>(a) + static_cast<double>(b)); }

// Step 3 of the elimination for column k: the pivot, the row exchange, the normalisation of row k and
// the subtraction of it from the rows below. False at a zero pivot, which ends the elimination.
bool eliminate_column(SquareMatrix& aw, std::vector<float>& bw, int k, int n) {
    // 3.1: the pivot is the largest signed entry of column k in rows k..N; ties keep the upper row.
    float value = aw(k, k);
    int p = k;
    for (int i = k + 1; i <= n; ++i) {
        if (aw(i, k) > value) {
            value = aw(i, k);
            p = i;
        }
    }
    check_counter_after_loop(n);

    // 3.2: exchange rows k and p in columns k..N and in Bw, also when p = k.
    for (int j = k; j <= n; ++j) std::swap(aw(p, j), aw(k, j));
    check_counter_after_loop(n);
    std::swap(bw[p], bw[k]);

    // 3.3: a zero pivot ends the elimination quietly; X keeps what the caller loaded.
    if (aw(k, k) == 0.0f) return false;

    // 3.4: normalise row k by its pivot, read once; j runs over the columns k..N.
    const float piv = aw(k, k);
    for (int j = k; j <= n; ++j) {
        const float a = aw(k, j);
        aw(k, j) = quot(a, piv);
        check_quot(aw(k, j), a, piv);
    }
    check_counter_after_loop(n);
    const float b = bw[k];
    bw[k] = quot(b, piv);
    check_quot(bw[k], b, piv);

    // 3.5: subtract m times row k from each row i below it; m is read once per row, j runs k..N.
    for (int i = k + 1; i <= n; ++i) {
        const float m = aw(i, k);
        for (int j = k; j <= n; ++j) {
            aw(i, j) = mul_sub(aw(i, j), m, aw(k, j));
            check(aw(i, j));
        }
        check_counter_after_loop(n);
        bw[i] = mul_sub(bw[i], m, bw[k]);
        check(bw[i]);
    }
    check_counter_after_loop(n);
    return true;
}

}  // namespace

void gauss_solution_plain(SystemState& st) {
    const int n = st.N;
    check_bounds(st.A, n);
    check_bounds(st.B, n);
    check_bounds(st.X, n);

    // Step 1: fresh, cleared working copies with bounds 0..N.
    st.Aw.dim(n);
    dim_cleared(st.Bw, n);
    SquareMatrix& aw = st.Aw;
    std::vector<float>& bw = st.Bw;

    // Step 2: copy the system; i is the equation, j the unknown.
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) aw(i, j) = st.A(i, j);
        check_counter_after_loop(n);
        bw[i] = st.B[i];
    }
    check_counter_after_loop(n);

    // Step 3: forward elimination; k is the column being cleared below the diagonal.
    for (int k = 1; k <= n - 1; ++k)
        if (!eliminate_column(aw, bw, k, n)) return;

    // Step 4: row N is never normalised; a zero there leaves X untouched. For N = 0 this reads the
    // unused element (0,0), which is 0, so nothing is written.
    if (aw(n, n) == 0.0f) return;

    // Step 5: back substitution. X(i) holds the running value, rounded after every term, which are
    // taken in the order j = N down to i + 1.
    std::vector<float>& x = st.X;
    x[n] = quot(bw[n], aw(n, n));
    check_quot(x[n], bw[n], aw(n, n));
    for (int i = n - 1; i >= 1; --i) {
        x[i] = bw[i];
        for (int j = n; j >= i + 1; --j) {
            x[i] = mul_sub(x[i], aw(i, j), x[j]);
            check(x[i]);
        }
    }
}

void get_residual(SystemState& st) {
    if (st.DataMode != kModeMemory) {
        get_residual_file(st);
        return;
    }
    const int n = st.N;
    check_bounds(st.A, n);
    check_bounds(st.B, n);
    check_bounds(st.X, n);
    check_bounds(st.R, n);

    // R(i) = -B(i), then for j = 1..N: R(i) = X(j)*A(i,j) + R(i); i is the equation, j the unknown.
    // Every R(i) takes its terms in the order j = 1..N whichever loop is outside, so the pass runs
    // column by column over the contiguous columns of A. A stored infinity or NaN stays one through
    // the later terms, so a fault shows in the final R; then the pass is redone row by row from the
    // old R so that the fault is raised at the same element, with the same values stored before it.
    std::vector<float>& r = st.R;
    const std::vector<float> old(r.begin(), r.begin() + n + 1);
    // Each R(i) is a chain of its own, so the equations are shared out between two threads when the
    // order makes it worth one: the values do not depend on the split.
    auto pass = [&](int lo, int end) {
        for (int i = lo; i < end; ++i) r[i] = -st.B[i];
        for (int j = 1; j <= n; ++j) {
            const float xj = st.X[j];
            const float* aj = st.A.col(j);
            for (int i = lo; i < end; ++i) r[i] = mul_add(xj, aj[i], r[i]);
        }
    };
    split_in_two(1, n + 1, n >= kResidualThreadOrder, pass);
    bool finite = true;
    for (int i = 1; i <= n; ++i) finite = finite && std::isfinite(r[i]);
    if (finite && n != 32767) return;

    std::copy(old.begin(), old.end(), r.begin());
    for (int i = 1; i <= n; ++i) {
        r[i] = -st.B[i];
        for (int j = 1; j <= n; ++j) {
            r[i] = mul_add(st.X[j], st.A(i, j), r[i]);
            check(r[i]);
        }
        check_counter_after_loop(n);
    }
    check_counter_after_loop(n);
}

void get_norms_plain(SystemState& st, MessageBoxes& box) { get_norms_from(st, box, 1); }

void get_norms_from(SystemState& st, MessageBoxes& box, int first) {
    const int n = st.N;
    check_bounds(st.A, n);
    check_bounds(st.D, n);

    // D(i) = sum over the equations j of A(j,i)^2, walking column i of A; i is the unknown.
    for (int i = first; i <= n; ++i) {
        const float* ai = st.A.col(i);
        float& d = st.D[i];
        d = 0.0f;
        for (int j = 1; j <= n; ++j) {
            d = mul_add(ai[j], ai[j], d);
            check(d);
        }
        check_counter_after_loop(n);
        // An all-zero column: the sweep is undefined there. Said once; the caller goes on.
        if (d == 0.0f) {
            box.message("NoSolution");
            return;
        }
    }
    check_counter_after_loop(n);
}

void do_iteration_plain(SystemState& st, GridModel& grid) {
    const int n = st.N;
    check_bounds(st.A, n);
    check_bounds(st.R, n);
    check_bounds(st.D, n);
    check_bounds(st.X, n);
    std::vector<float>& r = st.R;
    char text[32];

    // One sweep: i is the unknown being moved, j the equation.
    for (int i = 1; i <= n; ++i) {
        const float* ai = st.A.col(i);

        // 1.1: s = component i of A^T (A x - b), rounded after every term.
        float s = 0.0f;
        for (int j = 1; j <= n; ++j) {
            s = mul_add(r[j], ai[j], s);
            check(s);
        }
        check_counter_after_loop(n);

        // 1.2: the step that minimises the residual norm along unknown i (negation is exact).
        const float num = -s;
        s = quot(num, st.D[i]);
        check_quot(s, num, st.D[i]);

        // 1.3: move x(i).
        st.X[i] = add(s, st.X[i]);
        check(st.X[i]);

        // 1.4: bring the residual up to date and take its largest component, floored at 0.
        st.Er = 0.0f;
        for (int j = 1; j <= n; ++j) {
            r[j] = mul_add(s, ai[j], r[j]);
            check(r[j]);
            if (r[j] > st.Er) st.Er = r[j];
        }
        check_counter_after_loop(n);

        // 1.5: show the new x(i) in the approximation column, a 16-bit index.
        const int16_t col = int16_or_overflow(x_column(n));
        grid.set_text(i, col, std::string_view(text, single_to_text(st.X[i], text)));
    }
    check_counter_after_loop(n);
}

}  // namespace varnex
