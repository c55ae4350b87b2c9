// The command logic of the main window that sets a system up: load, "Accept N", coefficient entry and
// the index arrows (the two solve commands are in commands/solve_commands.cpp). Each handler arms its
// traps as try blocks around the group of steps they cover; whatever no trap covers ends the command
// silently, so no exception leaves a handler.
#include "commands/commands.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "commands/row_file_lock.h"
#include "commands/sample_generator.h"
#include "commands/traps.h"
#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "core/order_notes.h"
#include "files/replace_file.h"
#include "files/stale_temporaries.h"

namespace varnex {

namespace {

// The value of an index box; the boxes hold integers written by the program.
int index_value(const App& app, int k) { return text_to_int16(app.ui->text(txt_index(k))); }

// The load handler's steps up to the data folder and the samples. Their own failures are reported
// here; what escapes (memory for the texts and the path) goes to the load handler's trap.
void load_steps(App& app) {
    SystemState& st = app.st;
    st.msg.fill();
    for (int k = 0; k < 3; ++k) app.ui->set_enabled(txt_index(k), false);
    app.ui->set_enabled(Ctl::cmdA, false);
    app.ui->set_enabled(Ctl::cmdB, false);
    app.ui->set_enabled(Ctl::cmdSolution, false);
    st.IterCount = 1;

    // The samples are written only on the start that creates the data folder; any entry of that
    // name, a plain file too, means there is nothing to do.
    const std::filesystem::path data = app.app_folder + "/data";
    std::error_code ec;
    const bool present = std::filesystem::exists(data, ec) || ec;
    // What a Save killed half-way left behind goes first (a running one's files stay).
    if (present) remove_stale_temporaries(app.app_folder);
    if (!present) {
        if (!std::filesystem::create_directory(data, ec) || ec) {
            app.box->message(" Sorry, the data folder could not be created.");
        } else {
            int code = 0;
            try {
                generate_samples(app);
            } catch (const SystemFileError& e) {
                code = e.code();
            } catch (const RunError&) {
                code = EIO;
            } catch (const std::bad_alloc&) {
                code = ENOMEM;
            }
            if (code != 0) {
                // Each sample is whole or absent; taking the folder away again as well (it holds
                // nothing else, it was made just now) lets the next start write all four anew.
                discard_samples(app);
                app.box->message(" Sorry, the sample systems could not be written: " + failure_reason(code) + ".");
            }
        }
    }
}

}  // namespace

void Form_Load(App& app) {
    SystemState& st = app.st;
    // The handler's trap covers every step: memory that runs out while the texts or the data folder's
    // path are built says so and ends the load, and the window still opens.
    try {
        load_steps(app);
    } catch (const std::exception&) {
        try {
            app.box->message(kMsgNoMemory);
        } catch (const std::exception&) {
        }
        return;
    }
    try {
        st.Eps = text_to_single(app.ui->text(Ctl::txtEps));
    } catch (const std::exception&) {
        app.box->message(st.msg.MsgBadNumber);
    }
}

static void cmdN_Click_steps(App& app) {
    SystemState& st = app.st;
    st.DataMode = kModeMemory;  // set before the order is read and kept when reading fails
    unlock_row_file();          // the row file is no longer this program's
    int16_t n = 0;
    try {
        n = text_to_int16(app.ui->text(Ctl::txtN));
    } catch (const std::exception&) {
        // 40000 is no 16-bit order, but it is a number: the note says where such a system goes.
        if (const long long above = order_above_limit(app.ui->text(Ctl::txtN))) app.ui->status(order_limit_note(above));
        app.box->message(st.msg.MsgBadNumber);
        return;
    }
    // Orders whose layout the grid cannot hold are refused before anything changes.
    if (n < 0 || n > kMaxMemoryOrder) {
        if (n > kMaxMemoryOrder) app.ui->status(order_limit_note(n));
        app.box->message(st.msg.MsgBadNumber);
        return;
    }
    const int16_t old_n = st.N;
    st.N = n;
    try {
        app.grid.fill_data(st.N);
    } catch (const RunError& e) {
        st.N = old_n;
        app.box->message(e.kind() == ErrorKind::OutOfMemory ? st.msg.MsgNoMemory : st.msg.MsgBadNumber);
        return;
    } catch (const std::bad_alloc&) {
        // The layout of an order that memory cannot hold: the order stays refused, and says why.
        st.N = old_n;
        app.box->message(st.msg.MsgNoMemory);
        return;
    }
    app.ui->set_enabled(Ctl::cmdA, true);
    app.ui->set_enabled(Ctl::cmdB, true);
    app.ui->set_enabled(Ctl::cmdSolution, true);
    app.ui->set_enabled(Ctl::cmdIter, true);
    st.IterCount = 1;
    // A fraction in the box was rounded to a whole order: say to which.
    const std::string rounded = rounded_order_note(app.ui->text(Ctl::txtN), st.N);
    if (!rounded.empty()) app.ui->status(rounded);
}

void cmdDown_Click(App& app, int Index) {
    if (Index < 0 || Index > 2) return;
    try {
        int v = int16_or_overflow(index_value(app, Index) - 1);
        if (v < 1) v = 1;
        app.ui->set_text(txt_index(Index), int_to_text(v));
    } catch (const std::exception&) {
        // The box always holds an integer that the program wrote; nothing to report.
    }
}

void cmdUp_Click(App& app, int Index) {
    if (Index < 0 || Index > 2) return;
    try {
        int v = int16_or_overflow(index_value(app, Index) + 1);
        if (v > app.st.N) v = app.st.N;
        app.ui->set_text(txt_index(Index), int_to_text(v));
    } catch (const std::exception&) {
    }
}

bool accept_a(App& app, int i, int j, const std::string& value) {
    const SystemState& st = app.st;
    try {
        // The solution layout of connected mode has no coefficient cells.
        if (st.DataMode == kModeConnected) raise(ErrorKind::Subscript);
        text_to_single(value);  // only a check: the cell receives the text as typed
        if (i < 1 || i > st.N || j < 1 || j > st.N) raise(ErrorKind::Subscript);
        app.grid.set_text(i, int16_or_overflow(a_column(j)), value);
        return true;
    } catch (const std::exception&) {
        app.box->message(st.msg.MsgBadNumber);
    }
    return false;
}

bool accept_b(App& app, int i, const std::string& value) {
    const SystemState& st = app.st;
    try {
        if (st.DataMode == kModeConnected) raise(ErrorKind::Subscript);
        text_to_single(value);
        if (i < 1 || i > st.N) raise(ErrorKind::Subscript);
        app.grid.set_text(i, int16_or_overflow(b_column(st.N)), value);
        return true;
    } catch (const std::exception&) {
        app.box->message(st.msg.MsgBadNumber);
    }
    return false;
}

void cmdA_Click(App& app) {
    int i = 0, j = 0;
    std::string value;
    try {
        i = index_value(app, 0);
        j = index_value(app, 1);
        value = app.ui->text(Ctl::txtA);
    } catch (const std::exception&) {
        app.box->message(app.st.msg.MsgBadNumber);
        return;
    }
    accept_a(app, i, j, value);
}

void cmdB_Click(App& app) {
    int i = 0;
    std::string value;
    try {
        i = index_value(app, 2);
        value = app.ui->text(Ctl::txtB);
    } catch (const std::exception&) {
        app.box->message(app.st.msg.MsgBadNumber);
        return;
    }
    accept_b(app, i, value);
}

void cmdN_Click(App& app) { untrapped_ends_silently(app, cmdN_Click_steps); }

}  // namespace varnex
