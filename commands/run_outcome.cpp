#include "commands/run_outcome.h"

#include "core/convert.h"
#include "core/exact.h"

namespace varnex {

void begin_run(App& app, bool find_solution) {
    const unsigned runs = app.last_run.runs + 1;
    // "Next Iteration" goes on with the run that the counter counts: the elimination's zero pivot
    // still tells where it started from.
    const int zero_pivot = !find_solution && app.st.IterCount > 1 ? app.last_run.zero_pivot : 0;
    app.last_run = RunOutcome{};
    app.last_run.zero_pivot = zero_pivot;
    app.last_run.started = std::chrono::steady_clock::now();
    app.last_run.find_solution = find_solution;
    app.last_run.runs = runs;
}

void sweep_completed(App& app) {
    SystemState& st = app.st;
    app.ui->set_text(Ctl::txtEr, single_to_text(st.Er));
    app.ui->refresh();
    app.ui->sweep_done(st.Er);
    ++app.last_run.sweeps;
    if (!app.last_run.find_solution) app.last_run.end = RunEnd::OneSweep;
    // The counter is a 16-bit integer: the raise after sweep 32767 of a run fails, which ends the
    // command silently; the record says why.
    if (st.IterCount == 32767) app.last_run.end = RunEnd::SweepLimit;
    st.IterCount = int16_or_overflow(st.IterCount + 1);
}

bool run_ends(App& app, float& prev_er) {
    const SystemState& st = app.st;
    RunEnd& end = app.last_run.end;
    // Written as "not greater" so that a NaN on either side also stops the run.
    if (!(st.Er > st.Eps)) {
        end = RunEnd::AccuracyReached;
        return true;
    }
    if (st.Er == prev_er) {
        end = RunEnd::NoFurtherProgress;
        return true;
    }
    prev_er = st.Er;
    if (app.ui->stop_requested()) {
        end = RunEnd::Stopped;
        return true;
    }
    return false;
}

void record_fault(App& app, const std::string& name) {
    if (app.last_run.end != RunEnd::None && app.last_run.end != RunEnd::OneSweep) return;
    app.last_run.end = RunEnd::Fault;
    app.last_run.fault = name;
}

std::string describe(const RunOutcome& outcome) {
    switch (outcome.end) {
        case RunEnd::None: return "not run";
        case RunEnd::OneSweep: return "one sweep";
        case RunEnd::AccuracyReached: return "accuracy reached";
        case RunEnd::NoFurtherProgress: return "no further progress";
        case RunEnd::SweepLimit: return "sweep counter limit";
        case RunEnd::Stopped: return "stopped";
        case RunEnd::Fault: return "fault: " + outcome.fault;
        case RunEnd::Message: return "message: " + outcome.fault;
    }
    return {};
}

}  // namespace varnex
