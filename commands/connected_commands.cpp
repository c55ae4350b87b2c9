// The connected branches of "Find  solution" and "Next Iteration": the row file is opened as file
// number 3 around the readers and closed again however they end. A failure anywhere in a branch
// (the file cannot be opened or read, a floating-point fault in a sweep, a counter overflow) closes
// the file and goes on to the calling command, which ends silently without showing a duration; every
// value written before the failure stays.

#include "commands/connected_commands.h"
#include "commands/run_outcome.h"

#include "core/convert.h"
#include "core/exact.h"
#include "core/numerics.h"
#include "files/connect_command.h"

namespace varnex {

namespace {

// R and D anew and zero-filled, in this order, then X resized keeping its values.
void dimension(SystemState& st) {
    dim_cleared(st.R, st.N);
    dim_cleared(st.D, st.N);
    dim_keep(st.X, st.N);
}

void open_row_file(App& app) { app.st.file3.open(row_file_path(app.app_folder)); }

// Sets R up from the file and X, then D; get_residual takes the file branch by itself in this mode.
void set_up(App& app) {
    get_residual(app.st);
    get_norms_file(app.st, *app.box);
}

// Closes file number 3 on every way out of a branch.
struct CloseRowFile {
    RowFile& f;
    ~CloseRowFile() { f.close(); }
};

}  // namespace

void connected_find_solution(App& app) {
    SystemState& st = app.st;
    CloseRowFile closer{st.file3};
    dimension(st);
    open_row_file(app);
    set_up(app);
    float prevEr = 0.0f;
    do {
        do_iteration_file(st, app.grid);
        sweep_completed(app);
    } while (!run_ends(app, prevEr));
}

void connected_next_iteration(App& app) {
    SystemState& st = app.st;
    CloseRowFile closer{st.file3};
    // The first click sets up and sweeps on one opening of the file: a streamed file hands the panels
    // that its set-up kept to the sweep, which a closing in between would drop.
    const bool first = st.IterCount == 1;
    if (first) dimension(st);
    open_row_file(app);
    if (first) set_up(app);
    do_iteration_file(st, app.grid);
    sweep_completed(app);
}

}  // namespace varnex
