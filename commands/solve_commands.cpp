// "Find  solution" and "Next Iteration": the memory-mode branches here, the connected ones in
// commands/connected_commands.cpp. Each handler arms its traps as try blocks around the group of steps
// they cover; whatever no trap covers ends the command silently, so no exception leaves a handler.
#include "commands/commands.h"

#include <new>

#include "commands/connected_commands.h"
#include "commands/run_outcome.h"
#include "commands/system_arrays.h"
#include "commands/traps.h"
#include "core/convert.h"
#include "core/errors.h"
#include "core/numerics.h"
#include "core/verdict.h"

namespace varnex {

namespace {

void show_duration(App& app, float t0) {
    const float t1 = app.clock->seconds_since_midnight();
    app.ui->set_text(Ctl::txtTime, single_to_text(t1 - t0));
}

// "Find  solution" in memory mode, from the dimensioning to the end of the sweeps. Returns false
// when a trap ended the command, which then shows no duration.
bool find_solution_memory(App& app) {
    SystemState& st = app.st;
    // Dimensioning the arrays: any failure says memory ran out.
    if (!trapped(app, st.msg.MsgNoMemory, [&] { dim_memory(st); })) return false;
    // Loading the grid and the elimination: any failure says the data is bad.
    if (!trapped(app, st.msg.MsgBadData, [&] {
            load_grid(app);
            gauss_solution(st);
            app.last_run.zero_pivot = zero_pivot_column(st);
        }))
        return false;
    try {
        get_residual(st);  // no trap stands here: a failure ends the command silently
        // The norms and every sweep: any failure ends the command without a message.
        get_norms(st, *app.box);
        float prev_er = 0.0f;
        do {
            do_iteration(st, app.grid);
            sweep_completed(app);
        } while (!run_ends(app, prev_er));
    } catch (const RunError& e) {
        record_fault(app, error_name(e.kind()));
        return false;
    } catch (const std::bad_alloc&) {
        record_fault(app, error_name(ErrorKind::OutOfMemory));
        return false;
    }
    return true;
}

// "Next Iteration" in memory mode: the set-up on the first click of a run, then one sweep. Returns
// false when the command ended early.
bool next_iteration_memory(App& app) {
    SystemState& st = app.st;
    if (st.IterCount == 1) {
        // Dimensioning, then loading the grid: each shows its own message when it fails.
        if (!trapped(app, st.msg.MsgNoMemory, [&] { dim_memory(st); })) return false;
        if (!trapped(app, st.msg.MsgBadData, [&] { load_grid(app); })) return false;
        get_residual(st);
        get_norms(st, *app.box);
    }
    do_iteration(st, app.grid);
    sweep_completed(app);
    return true;
}
}  // namespace

static void cmdSolution_Click_steps(App& app) {
    SystemState& st = app.st;
    try {  // reading the tolerance: a text that is no number says so
        const float eps = text_to_single(app.ui->text(Ctl::txtEps));
        st.Eps = eps;
        st.IterCount = 1;
    } catch (const std::exception&) {
        app.box->message(st.msg.MsgBadNumber);
        return;
    }
    begin_run(app, true);
    const float t0 = app.clock->seconds_since_midnight();
    if (st.DataMode == kModeMemory) {
        if (!find_solution_memory(app)) return;
    } else if (st.DataMode == kModeConnected) {
        try {
            connected_find_solution(app);
        } catch (const RunError& e) {
            record_fault(app, error_name(e.kind()));
            return;  // the connected branch has no trap: end silently
        } catch (...) {
            record_fault(app, error_name(ErrorKind::OutOfMemory));
            return;
        }
    }
    show_duration(app, t0);
    app.last_run.timed = true;
}

static void cmdIter_Click_steps(App& app) {
    SystemState& st = app.st;
    begin_run(app, false);
    const float t0 = app.clock->seconds_since_midnight();
    try {
        if (st.DataMode == kModeMemory) {
            if (!next_iteration_memory(app)) return;
        } else if (st.DataMode == kModeConnected) {
            connected_next_iteration(app);
        }
    } catch (const RunError& e) {
        // A fault in the set-up or the sweep, or the counter passing 32767: no trap covers these,
        // so the command ends silently with what it wrote so far.
        record_fault(app, error_name(e.kind()));
        return;
    } catch (...) {
        record_fault(app, error_name(ErrorKind::OutOfMemory));
        return;
    }
    show_duration(app, t0);
    app.last_run.timed = true;
}

void cmdSolution_Click(App& app) { untrapped_ends_silently(app, cmdSolution_Click_steps); }
void cmdIter_Click(App& app) { untrapped_ends_silently(app, cmdIter_Click_steps); }

}  // namespace varnex
