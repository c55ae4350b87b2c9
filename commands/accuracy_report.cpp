#include "commands/accuracy_report.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <new>

#include "commands/connect_command.h"
#include "commands/run_outcome.h"
#include "core/errors.h"
#include "core/memory_budget.h"
#include "core/verdict.h"

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
    r.er = app.st.Er;
    r.n = app.st.N;
    if (r.pending)
        r.wall_ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - app.last_run.started).count();
    return r;
}

namespace {

// The facts the verdict is drawn from, as the run left them and the report measured them.
void judge_report(const App& app, AccuracyReport& r) {
    VerdictFacts f;
    f.n = app.st.N;
    f.end = app.last_run.end;
    f.fault = app.last_run.fault;
    f.zero_pivot = app.last_run.zero_pivot;
    f.er = app.st.Er;
    f.eps = app.st.Eps;
    f.x = &app.st.X;
    f.norms = r.norms;
    f.backward_error = r.backward_error;
    f.conditioned = r.conditioned;
    f.kappa1 = r.kappa1;
    f.reference = &r.reference;
    r.judgement = judge(f);
    r.judged = true;
}

// kappa1 and the reference from one factorization of A.
bool analyse(const SquareMatrix& A, const std::vector<float>& B, int n, AccuracyReport& r,
             const std::atomic<bool>& cancel) {
    SystemAnalysis an;
    if (!analyse_system(A, B, n, cancel, an)) return false;
    r.conditioned = an.conditioned;
    r.kappa1 = an.kappa1;
    r.beyond_single = an.conditioned && beyond_single_precision(an.kappa1);
    r.reference = std::move(an.reference);
    r.reference_tried = true;
    return true;
}

// Bytes this process holds in memory now (its resident set), 0 when it cannot be read.
std::uint64_t resident_bytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    unsigned long long size = 0, resident = 0;
    const bool read = std::fscanf(f, "%llu %llu", &size, &resident) == 2;
    std::fclose(f);
    const long page = sysconf(_SC_PAGESIZE);
    return read && page > 0 ? resident * static_cast<std::uint64_t>(page) : 0;
}

std::string megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }

// Connected mode: the system comes into memory in one pass over the row file when it fits there
// beside its double copy; otherwise only the residual is measured, in one pass.
bool measure_connected(const App& app, AccuracyReport& r, const std::atomic<bool>& cancel) {
    const SystemState& st = app.st;
    const std::string path = row_file_path(app.app_folder);
    const std::uint64_t n1 = static_cast<std::uint64_t>(st.N) + 1;
    const std::uint64_t need = n1 * n1 * sizeof(float) + reference_bytes(st.N);
    // Half of what the process may still take beside what it holds (a cgroup limit counts both).
    const std::uint64_t limit = usable_memory(), held = resident_bytes();
    const std::uint64_t usable = limit > held ? limit - held : 0;
    if (st.N > kMaxConditionOrder || need > usable / 2) {
        if (!residual_from_row_file(path, st.N, st.X, cancel, r.norms)) return false;
        r.backward_error = r.norms.backward_error();
        r.measured = true;
        r.note = st.N > kMaxConditionOrder
                     ? "no reference above order " + std::to_string(kMaxConditionOrder)
                     : "no reference: the system takes " + megabytes(need) + " in memory, more than half of the " +
                           megabytes(usable) + " this process may still use";
        return true;
    }
    SquareMatrix A;
    std::vector<float> B;
    if (!load_row_file_system(path, st.N, cancel, A, B)) return false;
    if (!residual_in_memory(A, B, st.X, st.N, cancel, r.norms)) return false;
    r.backward_error = r.norms.backward_error();
    r.measured = true;
    return analyse(A, B, st.N, r, cancel);
}

bool measure_memory(const App& app, AccuracyReport& r, const std::atomic<bool>& cancel) {
    const SystemState& st = app.st;
    if (!residual_in_memory(st.A, st.B, st.X, st.N, cancel, r.norms)) return false;
    r.backward_error = r.norms.backward_error();
    r.measured = true;
    if (st.N > kMaxConditionOrder) {
        r.note = "\u03ba\u2081 is not estimated above order " + std::to_string(kMaxConditionOrder);
        return true;
    }
    return analyse(st.A, st.B, st.N, r, cancel);
}

std::string failure_note(const AccuracyReport& r, const std::string& what) {
    return std::string(r.measured ? "no condition estimate: " : "no accuracy report: ") + what;
}

}  // namespace

bool measure_report(const App& app, AccuracyReport& r, const std::atomic<bool>& cancel) {
    if (!r.pending) return true;
    try {
        const bool done = r.connected ? measure_connected(app, r, cancel) : measure_memory(app, r, cancel);
        if (!done) return false;
    } catch (const RunError& e) {
        r.note = failure_note(r, error_name(e.kind()));
    } catch (const std::bad_alloc&) {
        r.note = failure_note(r, error_name(ErrorKind::OutOfMemory));
    } catch (const std::exception& e) {
        // Anything else would end the program from the worker thread: it becomes a note too.
        r.note = failure_note(r, e.what());
    }
    if (r.measured) judge_report(app, r);
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
