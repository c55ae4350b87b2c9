#pragma once
// How good the current approximation is, judged in double precision: the true residual of X, the
// normwise backward error, and a 1-norm condition estimate of A from LAPACK. None of it touches the
// state it reads; every loop over rows or columns checks a cancel flag, so that a worker thread can
// be abandoned within one row's work.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/state.h"

namespace varnex {

/// The norms of one system and its approximation, all infinity norms, computed in double from the
/// single-precision values.
struct ResidualNorms {
    double residual = 0.0;  ///< ||A*x - b||, each component summed in double
    double norm_a = 0.0;    ///< ||A||, the largest row sum of |a(i,j)|
    double norm_x = 0.0;    ///< ||x||
    double norm_b = 0.0;    ///< ||b||

    /// ||r|| / (||A|| ||x|| + ||b||); 0 when both the residual and the denominator are 0.
    double backward_error() const;
};

/// What a report says about the last solve command. Plain fields, so that a front end can print
/// them one by one (the batch program as JSON fields).
struct AccuracyReport {
    int sweeps = 0;          ///< sweeps of the current run (IterCount - 1, the limit sweep counted)
    std::string ending;      ///< how the run ended, in words ("accuracy reached", ...)
    bool measured = false;   ///< the norms below were computed
    bool pending = false;    ///< the norms are still being computed
    bool connected = false;  ///< the system was read from the row file
    ResidualNorms norms;
    double backward_error = 0.0;
    bool conditioned = false;    ///< kappa1 holds an estimate
    double kappa1 = 0.0;         ///< 1-norm condition estimate of A; +inf for an exactly singular A
    bool beyond_single = false;  ///< kappa1 * 2^-24 >= 1
    std::string note;            ///< why there are no norms or no estimate, when there are none
};

/// Residual and norms of the memory-mode system A (1..n x 1..n), B and X (elements 1..n). Returns
/// false when `cancel` was set before the pass ended. Throws RunError(Subscript) when an array is
/// smaller than the order.
bool residual_in_memory(const SquareMatrix& A, const std::vector<float>& B, const std::vector<float>& X, int n,
                        const std::atomic<bool>& cancel, ResidualNorms& out);

/// Residual and norms of the connected system of order n in the row file at `path`, in one pass
/// over its rows, with X from memory. Returns false when cancelled. Throws RunError(FileError) when
/// the file cannot be opened.
bool residual_from_row_file(const std::string& path, int n, const std::vector<float>& X,
                            const std::atomic<bool>& cancel, ResidualNorms& out);

/// Orders above this get no condition estimate: the double copy and the factorization would take
/// gigabytes and minutes.
inline constexpr int kMaxConditionOrder = 8000;

/// The pieces of the factorization behind the condition estimate: columns factored by one dgetrf
/// call, and columns of the rest updated by one dgemm call. Each piece runs to its end once begun, so
/// their size bounds how long a cancel waits (about 50 ms at order 2000 on two cores).
struct ConditionBlocks {
    int panel = 512;
    int strip = 1024;
};

/// kappa1(A) = ||A||_1 ||A^-1||_1 estimated by LAPACK (dgetrf, then dgecon) on a double copy of A
/// (1..n x 1..n); +inf when the factorization meets an exactly zero pivot. Returns false when
/// cancelled. Throws RunError(OutOfMemory) when the copy cannot be had.
bool condition_estimate(const SquareMatrix& A, int n, const std::atomic<bool>& cancel, double& kappa1,
                        ConditionBlocks blocks = {});

/// True when single precision cannot resolve a system of this condition: kappa1 * 2^-24 >= 1
/// (a NaN counts as unresolvable).
bool beyond_single_precision(double kappa1);

/// The report as one line of text, for the status bar and the batch program.
std::string report_line(const AccuracyReport& r);

/// The report as JSON members without the enclosing braces ("sweeps": 12, "ending": "...", ...);
/// values that JSON cannot hold (inf, NaN) are null.
std::string report_json_fields(const AccuracyReport& r);

}  // namespace varnex
