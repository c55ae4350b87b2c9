#pragma once
// The curves of the convergence window as plain data: the accuracy Er of every sweep of the last
// few runs, and their reduction to what a plot of a given width can show. No Qt, so that it can be
// tested without a display.

#include <cstdint>
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace varnex {

/// One point to draw: the sweep number within its run (1 for the first) and the Er it reached.
/// An Er of 0 or below cannot sit on a logarithmic axis: it is drawn at the axis floor and marked.
struct CurvePoint {
    int sweep;
    float er;
    bool at_floor() const { return !(er > 0.0f); }
};

/// Every sweep of one run, in order: sweep k is er[k - 1]. Nothing is ever dropped.
struct ConvergenceRun {
    std::string system;  ///< name of the system file the run solved ("untitled" for a typed system)
    std::vector<float> er;
    float min_positive = 0.0f;  ///< smallest Er above 0 (0 while there is none)
    float max = 0.0f;           ///< largest Er (0 while there is none above 0)
    std::string ending;         ///< how the last command that swept this run ended, in words
    float eps = 0.0f;           ///< the desired accuracy of its last sweep (0 when not known)
    std::uint64_t serial = 0;   ///< 1 for the first run of the session, 2 for the next, ...
};

/// Reduces a run to at most two points per bucket of sweeps plus its first and last sweep, in sweep
/// order: the smallest and the largest Er of each bucket, so that no spike or dip is lost however
/// many sweeps share one pixel column. With few enough sweeps every one is kept. Values that are not
/// finite are left out. `buckets` below 1 counts as 1. Only the first `count` sweeps are taken (all
/// of them when count is larger), so that a run clipped at the edge of the axis keeps its detail.
std::vector<CurvePoint> decimate(const std::vector<float>& er, int buckets, std::size_t count = SIZE_MAX);

/// A step of 1, 2 or 5 times a power of ten that puts at most `most` ticks on an axis of `span`.
double nice_step(double span, int most);

/// The range of the logarithmic axis for a set of runs: from a whole decade below the smallest
/// positive Er (where zeros are drawn) to the decade at or above the largest; the desired accuracy
/// of the current run lies inside.
struct LogRange {
    double floor = 0.1;
    double top = 1.0;
};
LogRange log_range(const std::deque<ConvergenceRun>& runs);

/// The runs of the solve commands as they come: a new curve for every "Find  solution" and for a
/// "Next Iteration" that sets a run up (IterCount 1, as after Accept N, Open or Connect); any other
/// "Next Iteration" goes on with the curve of the run it continues.
class ConvergenceHistory {
  public:
    /// Earlier runs kept besides the current one.
    static constexpr std::size_t kEarlierRuns = 5;

    /// Before a solve command, with IterCount as the command finds it. The new curve begins with the
    /// command's first sweep, so a command that fails before sweeping leaves the curves as they are.
    void command_starting(bool find_solution, int iter_count);
    /// After each completed sweep: one push (and, once per run, the start of its curve).
    void sweep_done(float er);
    /// After a solve command: how it ended ("accuracy reached", …), kept with the run it swept.
    void command_ended(std::string ending);

    /// The name of the current system's file, given to the runs that start from now on.
    void set_system(std::string name) { system_ = std::move(name); }
    /// Where the desired accuracy of the sweeps is found (read at each sweep; nullptr: not known).
    void watch_eps(const float* eps) { eps_ = eps; }
    const std::string& system() const { return system_; }

    /// Oldest first; back() is the current run. At most kEarlierRuns + 1.
    const std::deque<ConvergenceRun>& runs() const { return runs_; }
    /// Counts the runs begun so far, so a view can tell a new run from a longer one.
    std::uint64_t runs_begun() const { return runs_begun_; }

  private:
    std::deque<ConvergenceRun> runs_;
    std::string system_ = "untitled";
    const float* eps_ = nullptr;
    bool new_run_due_ = true;
    bool swept_ = false;  // the command under way has made a sweep
    std::uint64_t runs_begun_ = 0;
};

}  // namespace varnex
