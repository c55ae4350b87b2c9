#pragma once
// How good the current approximation is, judged in double precision: the true residual of X, the
// normwise backward error, and a 1-norm condition estimate of A from LAPACK. None of it touches the
// state it reads; every loop over rows or columns checks a cancel flag, so that a worker thread can
// be abandoned within one row's work.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/norms.h"
#include "core/reference.h"
#include "core/state.h"
#include "core/verdict.h"

namespace varnex {

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
    double wall_ms = -1.0;       ///< the command's own wall time in milliseconds; < 0 when not known
    int n = 0;                   ///< order of the system
    float er = 0.0f;             ///< the accuracy box (Er) as the run left it
    bool judged = false;         ///< `judgement` holds the verdict on X
    Judgement judgement;
    /// The accurate reference solution; reference.x (elements 1..N) is empty when none is claimed.
    ReferenceSolution reference;
    bool reference_tried = false;  ///< `reference` says why there is none when none is claimed
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

/// Calls fn(i, row) for the equations i = 1..n of the connected system in the row file at `path`, in
/// one pass: row[0..n-1] = a(i,1..n), row[n] = b(i). Returns false when cancelled. Throws
/// RunError(FileError) when the file cannot be opened or read.
bool for_each_equation(const std::string& path, int n, const std::atomic<bool>& cancel,
                       const std::function<void(int, const float*)>& fn);

/// Orders above this get no condition estimate: the double copy and the factorization would take
/// gigabytes and minutes.
inline constexpr int kMaxConditionOrder = 8000;

/// kappa1(A) = ||A||_1 ||A^-1||_1 estimated by LAPACK (dgetrf, then dgecon) on a double copy of A
/// (1..n x 1..n); +inf when the factorization meets an exactly zero pivot. Returns false when
/// cancelled. Throws RunError(OutOfMemory) when the copy cannot be had.
bool condition_estimate(const SquareMatrix& A, int n, const std::atomic<bool>& cancel, double& kappa1,
                        ConditionBlocks blocks = {});

/// True when single precision cannot resolve a system of this condition: kappa1 * 2^-24 >= 1
/// (a NaN counts as unresolvable).
bool beyond_single_precision(double kappa1);

/// Three significant digits in the C form (1.23e-05, inf, nan), whatever the locale.
std::string g3(double v);

/// One row of the whole report: what it is and its value in words.
struct ReportItem {
    std::string label;
    std::string value;
};

/// The whole report, item by item: the verdict and its digits, the run, the figures, the reference,
/// every reason with its hint.
std::vector<ReportItem> report_items(const AccuracyReport& r);

/// The verdict's JSON members, each with its leading ", ".
std::string verdict_json_fields(const AccuracyReport& r);

/// The report as one line of text, for the status bar and the batch program.
std::string report_line(const AccuracyReport& r);

/// The verdict line, then the report line, for the status bar (the report line alone before a verdict).
std::string status_line(const AccuracyReport& r);

/// The whole report, one item a line: the verdict, every reason with its hint, the figures and the
/// reference's bounds (the status bar's tooltip, the batch program's text output).
std::string report_text(const AccuracyReport& r);

/// The report as JSON members without the enclosing braces ("sweeps": 12, "ending": "...", ...);
/// values that JSON cannot hold (inf, NaN) are null.
std::string report_json_fields(const AccuracyReport& r);

}  // namespace varnex
