#include "commands/accuracy_report.h"

#include <new>

#include "commands/run_outcome.h"
#include "core/errors.h"
#include "files/connect_command.h"

namespace varnex {

namespace {

// A run that ended before or at its set-up (a trap's message, nothing swept by a failed first
// click) leaves arrays that may be loaded only in part: there is nothing to judge.
bool has_result(const App& app) {
    const RunEnd end = app.last_run.end;
    if (end == RunEnd::None || end == RunEnd::Message) return false;
    const SystemState& st = app.st;
    return st.DataMode == kModeMemory || st.DataMode == kModeConnected;
}

}  // namespace

int run_sweeps(const App& app) { return app.st.IterCount - 1 + (app.last_run.end == RunEnd::SweepLimit ? 1 : 0); }

AccuracyReport start_report(const App& app) {
    AccuracyReport r;
    r.sweeps = run_sweeps(app);
    // "Next Iteration" adds one sweep to a run that may be long: the count says how long, the ending
    // which command made the last sweep.
    r.ending = app.last_run.end == RunEnd::OneSweep ? "last by Next Iteration" : describe(app.last_run);
    r.connected = app.st.DataMode == kModeConnected;
    r.pending = has_result(app);
    return r;
}

bool measure_report(const App& app, AccuracyReport& r, const std::atomic<bool>& cancel) {
    if (!r.pending) return true;
    const SystemState& st = app.st;
    try {
        const bool done = r.connected
                              ? residual_from_row_file(row_file_path(app.app_folder), st.N, st.X, cancel, r.norms)
                              : residual_in_memory(st.A, st.B, st.X, st.N, cancel, r.norms);
        if (!done) return false;
        r.backward_error = r.norms.backward_error();
        r.measured = true;
        if (r.connected) {
            r.note = "\u03ba\u2081 in memory mode only";
        } else if (st.N > kMaxConditionOrder) {
            r.note = "\u03ba\u2081 is not estimated above order " + std::to_string(kMaxConditionOrder);
        } else {
            if (!condition_estimate(st.A, st.N, cancel, r.kappa1)) return false;
            r.conditioned = true;
            r.beyond_single = beyond_single_precision(r.kappa1);
        }
    } catch (const RunError& e) {
        r.note = std::string(r.measured ? "no condition estimate: " : "no accuracy report: ") + error_name(e.kind());
    } catch (const std::bad_alloc&) {
        r.note = std::string(r.measured ? "no condition estimate: " : "no accuracy report: ") +
                 error_name(ErrorKind::OutOfMemory);
    } catch (const std::exception& e) {
        // Anything else would end the program from the worker thread: it becomes a note too.
        r.note = std::string(r.measured ? "no condition estimate: " : "no accuracy report: ") + e.what();
    }
    r.pending = false;
    return true;
}

AccuracyReport accuracy_report(const App& app) {
    AccuracyReport r = start_report(app);
    const std::atomic<bool> never{false};
    measure_report(app, r, never);
    return r;
}

}  // namespace varnex
