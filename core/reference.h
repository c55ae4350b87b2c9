#pragma once
// The accurate reference solution of a system: LU factors of a double copy of A (the factorization
// that also gives the condition estimate), then iterative refinement with residuals accumulated in
// twice double precision, until the correction stops shrinking. Its error bounds say how far it can
// be trusted; where the condition of A leaves double precision no room, no reference is claimed.

#include <atomic>
#include <string>
#include <vector>

#include "core/norms.h"
#include "core/state.h"

namespace varnex {

/// At most this many refinement steps.
inline constexpr int kMaxRefinementSteps = 10;

/// The reference solution x^ and how far it can be trusted.
struct ReferenceSolution {
    bool claimed = false;        ///< x holds a reference within the bounds below
    std::vector<double> x;       ///< x^(1..n), element 0 unused; empty when none is claimed
    double normwise = 1.0;       ///< bound on ||x^ - x*|| / ||x*||, infinity norms (x* the exact solution)
    double componentwise = 1.0;  ///< bound on max |x^(i) - x*(i)| / |x*(i)|
    int steps = 0;               ///< refinement steps taken
    std::string why_not;         ///< why none is claimed, when none is
};

/// The condition estimate and the reference together, from one factorization.
struct SystemAnalysis {
    bool conditioned = false;  ///< kappa1 holds an estimate
    double kappa1 = 0.0;       ///< 1-norm condition estimate; +inf for an exactly singular A
    ReferenceSolution reference;
};

/// Factors the double copy of A, estimates kappa1 and refines the reference solution of A x = B
/// (A 1..n x 1..n, B 1..n). Returns false when cancelled. Throws RunError(OutOfMemory) when the copy
/// cannot be had.
bool analyse_system(const SquareMatrix& A, const std::vector<float>& B, int n, const std::atomic<bool>& cancel,
                    SystemAnalysis& out, ConditionBlocks blocks = {});

/// r(0..n-1) = b - A x for the single-precision A and B (1-based) and the double x (1-based), each
/// component summed in twice double precision and rounded once at the end.
void extended_residual(const SquareMatrix& A, const std::vector<float>& B, const std::vector<double>& x, int n,
                       std::vector<double>& r);

/// Loads the connected system of order n from the row file at `path` into A and B, in one pass.
/// Returns false when cancelled. Throws RunError(FileError) when the file cannot be read and
/// RunError(OutOfMemory) as SquareMatrix::dim.
bool load_row_file_system(const std::string& path, int n, const std::atomic<bool>& cancel, SquareMatrix& A,
                          std::vector<float>& B);

/// Bytes that a reference of order n takes beyond the system itself: the double copy of A.
std::uint64_t reference_bytes(int n);

// The pieces of the factorization shared with condition_estimate.

/// Copies A (1..n x 1..n) into the column-major n x n array `a` and gives ||A||_1. False when cancelled.
bool copy_to_double(const SquareMatrix& A, int n, const std::atomic<bool>& cancel, double* a, double& anorm);
/// Runs every BLAS call from now on on the calling thread and stops the library's own pool of threads;
/// the programs call it as they start, lu_factor before it factors.
void single_threaded_blas();
/// LU factorization with partial pivoting of the column-major n x n `a` in place, as dgetrf leaves
/// it; ipiv 1-based. Returns false when cancelled; `singular` tells of an exactly zero pivot.
bool lu_factor(double* a, int n, int* ipiv, const std::atomic<bool>& cancel, bool& singular,
               ConditionBlocks blocks = {});
/// kappa1 from the factors and ||A||_1 (LAPACK's dgecon); +inf for a zero norm or a zero estimate.
double condition_from_lu(const double* lu, int n, double anorm);

}  // namespace varnex
