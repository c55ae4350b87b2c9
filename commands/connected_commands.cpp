// The connected branches of "Find  solution" and "Next Iteration": the row file is opened as file
// number 3 around the readers and closed again however they end. A failure anywhere in a branch
// (the file cannot be opened or read, a floating-point fault in a sweep, a counter overflow) closes
// the file and goes on to the calling command, which ends without showing a duration; every value
// written before the failure stays. Only a file error says so (MsgBadFile), the rest end silently.

#include "commands/connected_commands.h"
#include "commands/run_outcome.h"

#include "commands/connect_command.h"
#include "commands/row_file_lock.h"
#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"
#include "core/numerics.h"

namespace varnex {

namespace {

// R and D anew and zero-filled, in this order, then X resized keeping its values.
void dimension(SystemState& st) {
    dim_cleared(st.R, st.N);
    dim_cleared(st.D, st.N);
    dim_keep(st.X, st.N);
}

// Opens the row file for the readers. It is this program's while it stays in connected mode: Connect
// took the lock; it is taken again here should this program have lost it, and a file that another
// program holds now is not read.
void open_row_file(App& app) {
    const std::string rows = row_file_path(app.app_folder);
    const LockResult lock = lock_row_file(rows);
    if (lock == LockResult::Busy) throw RunError(ErrorKind::FileError, row_file_busy(rows));
    app.st.solve_row_file.open(rows);
}

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

// Runs a branch; a file error ends it with a message instead of silently. A row file that became
// shorter while it was read (another program truncated it: the mapped reads went on with zeros, which
// may have ended the pass in a fault of their own) is such a file error too. The message is MsgBadFile,
// with the reason on the status line where there is one, or a message of the error's own (the row
// file is another program's); the error goes on to the command.
template <class Branch>
void file_errors_said(App& app, Branch&& branch) {
    try {
        branch();
    } catch (const RunError& e) {
        bool file_error = e.kind() == ErrorKind::FileError;
        if (!file_error) {
            try {
                app.st.solve_row_file.check_intact();
            } catch (const RunError&) {
                file_error = true;
            }
        }
        if (!file_error) throw;
        // The error's own text: a message of its own (" Sorry, ..."), or the reason for the status
        // line beside MsgBadFile, or nothing beyond the kind.
        const std::string what = e.kind() == ErrorKind::FileError ? e.what() : "";
        const bool own = what.rfind(" Sorry,", 0) == 0;
        if (!own && !what.empty() && what != error_name(ErrorKind::FileError)) app.ui->status(what);
        const std::string said = own ? what : app.st.msg.MsgBadFile;
        app.box->message(said);
        app.last_run.end = RunEnd::Message;
        app.last_run.fault = said;
        raise(ErrorKind::FileError);
    }
}

}  // namespace

void connected_find_solution(App& app) {
    SystemState& st = app.st;
    CloseRowFile closer{st.solve_row_file};
    file_errors_said(app, [&] {
        dimension(st);
        open_row_file(app);
        set_up(app);
        st.solve_row_file.check_intact();
        float prevEr = 0.0f;
        do {
            do_iteration_file(st, app.grid);
            st.solve_row_file.check_intact();
            sweep_completed(app);
        } while (!run_ends(app, prevEr));
    });
}

void connected_next_iteration(App& app) {
    SystemState& st = app.st;
    CloseRowFile closer{st.solve_row_file};
    // The first click sets up and sweeps on one opening of the file: a streamed file hands the panels
    // that its set-up kept to the sweep, which a closing in between would drop.
    file_errors_said(app, [&] {
        const bool first = st.IterCount == 1;
        if (first) dimension(st);
        open_row_file(app);
        if (first) {
            set_up(app);
            st.solve_row_file.check_intact();
        }
        do_iteration_file(st, app.grid);
        st.solve_row_file.check_intact();
        sweep_completed(app);
    });
}

}  // namespace varnex
