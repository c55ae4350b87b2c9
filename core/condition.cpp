// The 1-norm condition estimate of A: LU factors of a double copy by LAPACK, then LAPACK's dgecon.
//
// The factorization is LAPACK's own blocked algorithm (dgetrf's right-looking recipe) written out
// panel by panel around LAPACK and BLAS calls: dgetrf factors each panel, dlaswp applies its row
// interchanges, dtrsm and dgemm update the rest. Factored that way the work can stop between two
// pieces when the cancel flag is set, instead of holding a worker thread for the whole factorization.

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#include "core/accuracy.h"
#include "core/cancel_check.h"
#include "core/errors.h"

extern "C" {
// Fortran interfaces of LAPACK and BLAS (32-bit integers); the trailing lengths are those of the
// character arguments.
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgecon_(const char* norm, const int* n, const double* a, const int* lda, const double* anorm, double* rcond,
             double* work, int* iwork, int* info, std::size_t norm_len);
void dlaswp_(const int* n, double* a, const int* lda, const int* k1, const int* k2, const int* ipiv, const int* incx);
void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m, const int* n,
            const double* alpha, const double* a, const int* lda, double* b, const int* ldb, std::size_t, std::size_t,
            std::size_t, std::size_t);
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc, std::size_t, std::size_t);
}

namespace varnex {

// OpenBLAS runs its own pool of threads and shuts it down around every fork() of the process (its
// fork handlers); a factorization running on the report's worker at that moment would wait forever
// for the pool. The factorization therefore runs on the calling thread alone, when the library is
// OpenBLAS (dlsym finds its calls; other libraries keep their own setting). The pool, started as the
// library loads, is stopped too: each of its threads spins for about 0.1 s of processor time before
// it sleeps, which a program that starts straight into Connect on two cores would lose.
void single_threaded_blas() {
    static std::once_flag once;
    std::call_once(once, [] {
        using SetThreads = void (*)(int);
        using Shutdown = int (*)();
        if (auto f = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads"))) f(1);
        if (auto f = reinterpret_cast<Shutdown>(dlsym(RTLD_DEFAULT, "blas_thread_shutdown_"))) f();
    });
}

bool lu_factor(double* a, int n, int* ipiv, const std::atomic<bool>& cancel, bool& singular, ConditionBlocks blocks) {
    single_threaded_blas();
    const int kPanel = std::max(1, blocks.panel), kStrip = std::max(1, blocks.strip);
    const int lda = n;
    const int one = 1;
    const double plus = 1.0, minus = -1.0;
    auto at = [&](int i, int j) { return a + static_cast<std::size_t>(j) * lda + i; };
    singular = false;
    // k: first column of the panel (0-based); jb its width; the trailing matrix starts at k + jb.
    for (int k = 0; k < n; k += kPanel) {
        if (cancelled_at(CancelStep::Factorization, cancel)) return false;
        const int jb = std::min(kPanel, n - k);
        const int m = n - k;
        int info = 0;
        dgetrf_(&m, &jb, at(k, k), &lda, ipiv + k, &info);
        if (info > 0) singular = true;
        for (int p = k; p < k + jb; ++p) ipiv[p] += k;
        const int k1 = k + 1, k2 = k + jb;
        // The panel's interchanges on the columns before it and after it.
        if (k > 0) dlaswp_(&k, a, &lda, &k1, &k2, ipiv, &one);
        const int rest = n - k - jb;
        if (rest <= 0) continue;
        // Strips of the trailing columns: the rows of U beside the panel, then the Schur update.
        for (int j = k + jb; j < n; j += kStrip) {
            if (cancelled_at(CancelStep::Factorization, cancel)) return false;
            const int w = std::min(kStrip, n - j);
            dlaswp_(&w, at(0, j), &lda, &k1, &k2, ipiv, &one);
            dtrsm_("L", "L", "N", "U", &jb, &w, &plus, at(k, k), &lda, at(k, j), &lda, 1, 1, 1, 1);
            dgemm_("N", "N", &rest, &w, &jb, &minus, at(k + jb, k), &lda, at(k, j), &lda, &plus, at(k + jb, j), &lda, 1,
                   1);
        }
    }
    return true;
}

bool condition_estimate(const SquareMatrix& A, int n, const std::atomic<bool>& cancel, double& kappa1,
                        ConditionBlocks blocks) {
    kappa1 = 1.0;
    if (n <= 0) return true;
    if (A.upper() < n) raise(ErrorKind::Subscript);
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    ensure_memory(nn * sizeof(double));
    std::vector<double> a;
    std::vector<int> ipiv;
    try {
        a.resize(nn);
        ipiv.resize(n);
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    }
    double anorm = 0.0;
    if (!copy_to_double(A, n, cancel, a.data(), anorm)) return false;
    bool singular = false;
    if (!lu_factor(a.data(), n, ipiv.data(), cancel, singular, blocks)) return false;
    if (cancel.load(std::memory_order_relaxed)) return false;
    kappa1 = singular ? std::numeric_limits<double>::infinity() : condition_from_lu(a.data(), n, anorm);
    return true;
}

bool copy_to_double(const SquareMatrix& A, int n, const std::atomic<bool>& cancel, double* a, double& anorm) {
    // The copy without row and column 0, and ||A||_1, the largest column sum of |a(i,j)|.
    anorm = 0.0;
    for (int j = 1; j <= n; ++j) {
        if (cancel.load(std::memory_order_relaxed)) return false;
        const float* col = A.col(j);
        double* dst = a + static_cast<std::size_t>(j - 1) * n;
        double sum = 0.0;
        for (int i = 1; i <= n; ++i) {
            dst[i - 1] = col[i];
            sum += std::fabs(static_cast<double>(col[i]));
        }
        anorm = std::fmax(anorm, sum);
    }
    return true;
}

double condition_from_lu(const double* lu, int n, double anorm) {
    if (anorm == 0.0) return std::numeric_limits<double>::infinity();
    std::vector<int> iwork(static_cast<std::size_t>(n));
    std::vector<double> work(static_cast<std::size_t>(4) * n);
    double rcond = 0.0;
    int info = 0;
    dgecon_("1", &n, lu, &n, &anorm, &rcond, work.data(), iwork.data(), &info, 1);
    return rcond > 0.0 ? 1.0 / rcond : std::numeric_limits<double>::infinity();
}

}  // namespace varnex
