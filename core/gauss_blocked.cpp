// Gaussian elimination in panels with delayed updates, giving the plain loop's bits.
//
// Every element of Aw and Bw receives, in the plain loop, one update per elimination step k, in the
// order of k, each rounded to float. Such an update reads only the element itself, the multiplier of
// its row at step k and the normalised pivot row element of its column. So the steps of a panel of
// columns k0..k1-1 can be applied to a column right of the panel later and all at once, as long as the
// column first takes the panel's row exchanges and the multipliers travel with their rows: when step
// k exchanges rows k and p, the multipliers of the earlier steps of the panel are exchanged too, so
// that after the panel each row holds the multipliers that its element met, step by step. Columns are
// independent of each other, so two threads share them.
//
// A zero pivot at step k of a panel stops the panel; the columns to its right then take the steps
// before k and the exchange of step k, which is the plain loop's state when it returns. A stored
// infinity or NaN (rare: an overflow) makes the whole elimination run again in the plain loop, which
// stops at the same fault in its own order and raises it.
#include "core/gauss_blocked.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/exact.h"
#include "core/numerics.h"

namespace varnex {

namespace {

// Work per trailing update (element steps) below which a second thread costs more than it saves.
constexpr double kThreadMinWork = 4e6;

// Rows per block of the update below the pivot rows: 192 rows of 64 multipliers take 96 KiB.
constexpr int kRowBlock = 192;

// Per-thread buffers: the pivot rows of every column group a thread updates, and a column of zeros
// that fills a group short of kGroupCols columns.
struct Scratch {
    std::vector<double> u;
    std::vector<float> pad;
};

class Elimination {
  public:
    Elimination(SystemState& st, const ElimKernels& kern, int panel, int threads)
        : kern_(kern), n_(st.N), nb_(panel), threads_(threads), cols_(n_ + 2), prow_(n_ + 1), pval_(n_ + 1) {
        for (int j = 1; j <= n_; ++j) cols_[j] = st.Aw.col(j);
        cols_[n_ + 1] = st.Bw.data();  // Bw is carried as one more column
        ld_ = (static_cast<std::size_t>(n_) + 8) & ~std::size_t{7};
        lbuf_.assign(2 * ld_ * nb_, 0.0);
        scratch_.resize(threads_);
        for (Scratch& s : scratch_) {
            s.u.assign((static_cast<std::size_t>(n_) + 2 + kGroupCols) * nb_, 0.0);
            s.pad.assign(n_ + 1, 0.0f);
        }
    }

    // Runs the forward elimination. Returns false at a zero pivot; finite() tells whether all values
    // stored were finite. With two threads the main thread brings the next panel's columns up to date
    // first and factors that panel while the helper is still updating the columns right of it
    // (look-ahead); the two panels' multipliers live in two alternating buffers.
    bool forward() {
        std::thread helper;
        bool helper_ok = true;
        int buf = 0;
        for (int k0 = 1; k0 <= n_ - 1; k0 += nb_, buf ^= 1) {
            const int k1 = std::min(k0 + nb_, n_);
            lcur_ = lbuf_.data() + static_cast<std::size_t>(buf) * ld_ * nb_;
            const int kz = factor_panel(k0, k1);
            if (helper.joinable()) {
                helper.join();
                finite_ = finite_ && helper_ok;
            }
            if (!finite_) return false;
            if (kz < k1) {
                update_trailing(k0, kz, kz, k1);
                return false;
            }
            const int ncols = n_ + 2 - k1;
            const int next = std::min(k1 + nb_, n_) - k1;  // columns of the next panel
            const double work = static_cast<double>(nb_) * ncols * (n_ + 1 - k1);
            if (threads_ < 2 || work < kThreadMinWork || ncols < 4 * nb_) {
                update_trailing(k0, k1, 0, k1);
                continue;
            }
            // Factoring the next panel costs about as much as updating nb columns, so the main thread
            // takes the next panel and half of what is left beyond two panels' worth.
            const int mine = next + std::max(0, (ncols - next - 2 * nb_) / 2);
            const int split = k1 + (mine + kGroupCols - 1) / kGroupCols * kGroupCols;
            const double* l = lcur_;
            helper_ok = true;
            helper = std::thread([this, k0, k1, split, l, &helper_ok] {
                helper_ok = update_columns(k0, k1, 0, split, n_ + 2, scratch_[1], l);
            });
            finite_ = update_columns(k0, k1, 0, k1, split, scratch_[0], l) && finite_;
        }
        if (helper.joinable()) {
            helper.join();
            finite_ = finite_ && helper_ok;
        }
        return true;
    }

    bool finite() const { return finite_; }

  private:
    double* mult(int step_in_panel) { return lcur_ + ld_ * step_in_panel; }

    // Steps k0..k1-1 on the panel's own columns, in the plain loop's order. Multipliers go to the
    // panel buffer. Returns the step of a zero pivot, or k1.
    int factor_panel(int k0, int k1) {
        for (int k = k0; k < k1; ++k) {
            float* ck = cols_[k];
            // Pivot: the largest signed entry of column k in rows k..N, ties keeping the upper row.
            float value = ck[k];
            int p = k;
            for (int i = k + 1; i <= n_; ++i) {
                if (ck[i] > value) {
                    value = ck[i];
                    p = i;
                }
            }
            prow_[k] = p;
            for (int j = k; j < k1; ++j) std::swap(cols_[j][p], cols_[j][k]);
            // At a zero pivot the columns right of the panel take this exchange after the earlier
            // steps, so the multipliers of those steps stay in the rows they had.
            if (ck[k] == 0.0f) return k;
            for (int t = 0; t < k - k0; ++t) std::swap(mult(t)[p], mult(t)[k]);

            const float piv = ck[k];
            pval_[k] = piv;
            for (int j = k; j < k1; ++j) {
                cols_[j][k] = quot(cols_[j][k], piv);
                finite_ = finite_ && std::isfinite(cols_[j][k]);
            }
            // m of each row i > k, read before column k is cleared; j runs over the panel's columns.
            double* lk = mult(k - k0);
            for (int i = k + 1; i <= n_; ++i) lk[i] = ck[i];
            for (int j = k; j < k1; ++j)
                finite_ = kern_.column_update(cols_[j], lk, cols_[j][k], k + 1, n_ + 1) && finite_;
        }
        return k1;
    }

    // Columns j0..N+1 (N+1 is Bw) take the steps k0..kend-1 and then, when kswap > 0, the exchange of
    // step kswap.
    void update_trailing(int k0, int kend, int kswap, int j0) {
        const int ncols = n_ + 2 - j0;
        const int groups = (ncols + kGroupCols - 1) / kGroupCols;
        const double work = static_cast<double>(kend - k0) * ncols * (n_ + 1 - kend);
        if (threads_ < 2 || groups < 2 || work < kThreadMinWork) {
            finite_ = update_columns(k0, kend, kswap, j0, n_ + 2, scratch_[0], lcur_) && finite_;
            return;
        }
        const int split = j0 + (groups / 2) * kGroupCols;
        bool other = true;
        std::thread helper([&] { other = update_columns(k0, kend, kswap, split, n_ + 2, scratch_[1], lcur_); });
        const bool mine = update_columns(k0, kend, kswap, j0, split, scratch_[0], lcur_);
        helper.join();
        finite_ = finite_ && mine && other;
    }

    // The columns of group g (starting at column g, ending before jb), padded with the zero column.
    void group_columns(int g, int jb, Scratch& s, float** c) {
        for (int q = 0; q < kGroupCols; ++q) c[q] = g + q < jb ? cols_[g + q] : s.pad.data();
    }

    // The columns ja..jb-1 in groups of kGroupCols: first every group's exchanges and pivot rows (kept
    // as doubles in s.u), then the rows below, one block of rows at a time across all groups, so that
    // the block's multipliers stay in the cache while every group uses them.
    bool update_columns(int k0, int kend, int kswap, int ja, int jb, Scratch& s, const double* l) {
        const int nk = kend - k0;
        const std::size_t per_group = static_cast<std::size_t>(nk) * kGroupCols;
        float* c[kGroupCols];
        bool ok = true;
        for (int g = ja, gi = 0; g < jb; g += kGroupCols, ++gi) {
            group_columns(g, jb, s, c);
            // r is the step within the panel, q the column within the group.
            for (int r = 0; r < nk; ++r) {
                const int k = k0 + r, p = prow_[k];
                for (int q = 0; q < kGroupCols; ++q) std::swap(c[q][k], c[q][p]);
            }
            if (nk == 0) continue;
            double* t = s.u.data() + gi * per_group;
            for (int r = 0; r < nk; ++r)
                for (int q = 0; q < kGroupCols; ++q) t[r * kGroupCols + q] = c[q][k0 + r];
            ok = kern_.pivot_rows(t, pval_.data() + k0, l + k0, ld_, nk) && ok;
            for (int r = 0; r < nk; ++r)
                for (int q = 0; q < kGroupCols; ++q) c[q][k0 + r] = static_cast<float>(t[r * kGroupCols + q]);
        }
        if (nk > 0) {
            for (int lo = kend; lo <= n_; lo += kRowBlock) {
                const int hi = std::min(lo + kRowBlock, n_ + 1);
                for (int g = ja, gi = 0; g < jb; g += kGroupCols, ++gi) {
                    group_columns(g, jb, s, c);
                    ok = kern_.group_update(c, l, ld_, s.u.data() + gi * per_group, nk, lo, hi) && ok;
                }
            }
        }
        if (kswap > 0) {
            for (int g = ja; g < jb; g += kGroupCols) {
                group_columns(g, jb, s, c);
                for (int q = 0; q < kGroupCols; ++q) std::swap(c[q][kswap], c[q][prow_[kswap]]);
            }
        }
        return ok;
    }

    const ElimKernels& kern_;
    const int n_;
    const int nb_;
    const int threads_;
    std::vector<float*> cols_;
    std::vector<int> prow_;
    std::vector<float> pval_;
    std::vector<double> lbuf_;  // multipliers of two panels' steps, one column of ld_ per step
    double* lcur_ = nullptr;    // the current panel's half of lbuf_
    std::size_t ld_ = 0;
    std::vector<Scratch> scratch_;
    bool finite_ = true;
};

// Back substitution, X(i) = Bw(i) then minus Aw(i,j)*X(j) for j = N down to i+1. Each X(i) takes its
// terms in that order also when the passes run column by column (j outside, contiguous i inside),
// because X(j) is final before column j is used. A non-finite value stays non-finite through the later
// terms; then the pass is redone row by row from the old X so that the fault is raised where the
// plain loop raises it.
void back_substitute(SystemState& st) {
    const int n = st.N;
    std::vector<float>& x = st.X;
    const std::vector<float>& bw = st.Bw;
    const SquareMatrix& aw = st.Aw;
    const std::vector<float> old(x.begin(), x.begin() + n + 1);

    x[n] = quot(bw[n], aw(n, n));
    check_quot(x[n], bw[n], aw(n, n));
    for (int i = 1; i < n; ++i) x[i] = bw[i];
    for (int j = n; j >= 2; --j) {
        const float xj = x[j];
        const float* cj = aw.col(j);
        for (int i = 1; i < j; ++i) x[i] = mul_sub(x[i], cj[i], xj);
    }
    bool finite = true;
    for (int i = 1; i < n; ++i) finite = finite && std::isfinite(x[i]);
    if (finite) return;

    std::copy(old.begin() + 1, old.begin() + n, x.begin() + 1);
    for (int i = n - 1; i >= 1; --i) {
        x[i] = bw[i];
        for (int j = n; j >= i + 1; --j) {
            x[i] = mul_sub(x[i], aw(i, j), x[j]);
            check(x[i]);
        }
    }
}

}  // namespace

void gauss_solution_blocked(SystemState& st, const ElimKernels& kern, int panel, int threads) {
    const int n = st.N;
    // Bounds the plain loop refuses, the 16-bit loop end at 32767 and trivial orders: its own path.
    const bool sized =
        st.A.upper() >= n && st.B.size() > static_cast<std::size_t>(n) && st.X.size() > static_cast<std::size_t>(n);
    if (n < 2 || n >= 32767 || !sized || panel < 1) {
        gauss_solution_plain(st);
        return;
    }

    st.Aw.dim(n);
    dim_cleared(st.Bw, n);
    for (int j = 1; j <= n; ++j) std::copy(st.A.col(j) + 1, st.A.col(j) + n + 1, st.Aw.col(j) + 1);
    std::copy(st.B.begin() + 1, st.B.begin() + n + 1, st.Bw.begin() + 1);

    bool completed = false;
    try {
        Elimination e(st, kern, panel, std::max(1, threads));
        completed = e.forward();
        if (!e.finite()) {
            gauss_solution_plain(st);
            return;
        }
    } catch (const std::bad_alloc&) {
        // The panel buffers could not be had: the plain loop needs none.
        gauss_solution_plain(st);
        return;
    } catch (const std::system_error&) {
        // No second thread could be started: the plain loop gives the same bits on this one.
        gauss_solution_plain(st);
        return;
    }
    if (!completed || st.Aw(n, n) == 0.0f) return;
    back_substitute(st);
}

}  // namespace varnex
