// The command logic of the main window: load, "Accept N", the two solve commands, coefficient entry
// and the index arrows. Each handler arms its traps as try blocks around the group of steps they
// cover; whatever no trap covers ends the command silently, so no exception leaves a handler.
#include "commands/commands.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "commands/connected_commands.h"
#include "commands/row_file_lock.h"
#include "commands/run_outcome.h"
#include "commands/sample_generator.h"
#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "core/memory_budget.h"
#include "core/numerics.h"
#include "core/order_notes.h"
#include "core/verdict.h"
#include "files/replace_file.h"
#include "files/stale_temporaries.h"

namespace varnex {

namespace {

// Dimensioning for memory mode: R, D, A, B new and zero-filled, in this order, then X resized
// keeping its values.
// A and the elimination's working copy Aw, (N + 1)^2 values each, are checked together against the
// memory this process may use before A is taken (what they hold now is given back first): a system
// that fits once but not twice gets MsgNoMemory here rather than a failure inside the elimination.
void dim_memory(SystemState& st) {
    const std::uint64_t n1 = static_cast<std::uint64_t>(st.N < 0 ? 0 : st.N) + 1;
    const std::uint64_t held = 4 * (static_cast<std::uint64_t>(st.A.stride()) * st.A.stride() +
                                    static_cast<std::uint64_t>(st.Aw.stride()) * st.Aw.stride());
    const std::uint64_t need = 2 * 4 * n1 * n1;
    if (need > held && !fits_in_memory(need - held)) raise(ErrorKind::OutOfMemory);
    dim_cleared(st.R, st.N);
    dim_cleared(st.D, st.N);
    st.A.dim(st.N);
    dim_cleared(st.B, st.N);
    dim_keep(st.X, st.N);
}

// Loading the grid: row by row, a(i,1..N), then b(i), then x(i), each converted as it is read and
// stored at once, so a failure leaves everything read before it in the arrays.
// The row's texts are taken in one go when the grid holds the system layout (`views` has room for
// N + 2); a cell never written, or a grid laid out otherwise, is read cell by cell. a(i,j) goes to
// store_a(j, value).
template <class StoreA>
void load_row_with(const GridModel& grid, SystemState& st, int i, std::vector<std::string_view>& views,
                   std::string& scratch, StoreA&& store_a) {
    const int n = st.N;
    if (grid.system_row_texts(i, n + 2, views.data())) {
        // views[k] is value number k + 1 of the row: a(i,1..n), then b(i) and x(i).
        auto cell = [&](int k) { return views[k].data() ? views[k] : grid.text(i, value_column(k + 1), scratch); };
        for (int j = 1; j <= n; ++j) store_a(j, text_to_single(cell(j - 1)));
        st.B[i] = text_to_single(cell(n));
        st.X[i] = text_to_single(cell(n + 1));
        return;
    }
    for (int j = 1; j <= n; ++j) store_a(j, text_to_single(grid.text(i, a_column(j), scratch)));
    st.B[i] = text_to_single(grid.text(i, b_column(n), scratch));
    st.X[i] = text_to_single(grid.text(i, x_column(n), scratch));
}

void load_row(const GridModel& grid, SystemState& st, int i, std::vector<std::string_view>& views,
              std::string& scratch) {
    load_row_with(grid, st, i, views, scratch, [&](int j, float v) { st.A(i, j) = v; });
}

// Rows converted into a tile before they go into A: A keeps its columns contiguous, so a row written
// straight into it touches N cache lines and pages; a tile of rows goes in column by column, one run
// of kTileRows values per column.
constexpr int kTileRows = 16;

// Loads rows first..last in order and stops at the first that fails; returns it, or last + 1. The
// rows of a tile before a failing row are stored; the failing row is left to the caller.
int load_rows(const GridModel& grid, SystemState& st, int first, int last) noexcept {
    const int n = st.N;
    int i = first;
    try {
        std::vector<std::string_view> views(static_cast<std::size_t>(n) + 2);
        std::vector<float> tile(static_cast<std::size_t>(kTileRows) * n);
        std::string scratch;
        auto store_tile = [&](int i0, int rows) {
            for (int j = 1; j <= n; ++j) {
                float* col = st.A.col(j) + i0;
                const float* from = tile.data() + (j - 1);
                for (int r = 0; r < rows; ++r) col[r] = from[static_cast<std::size_t>(r) * n];
            }
        };
        while (i <= last) {
            const int i0 = i;
            const int rows = std::min(kTileRows, last - i0 + 1);
            try {
                for (; i < i0 + rows; ++i) {
                    float* row = tile.data() + static_cast<std::size_t>(i - i0) * n;
                    load_row_with(grid, st, i, views, scratch, [row](int j, float v) { row[j - 1] = v; });
                }
            } catch (...) {
                store_tile(i0, i - i0);
                return i;
            }
            store_tile(i0, rows);
        }
    } catch (...) {
    }
    return i;
}

// Orders from which the second half of the rows is worth a thread of its own.
constexpr int kLoadThreadOrder = 256;

// Loads the grid into the arrays that dim_memory has just made: A and B zero, X resized. The halves
// of the rows are converted side by side on two threads when the processor has two. When a row fails,
// every row from it on is put back as the dimensioning left it and loaded once more alone, which stops
// at the same cell as the loading in order, with the same values stored before it.
void load_grid(App& app) {
    SystemState& st = app.st;
    const GridModel& grid = app.grid;
    const int n = st.N;
    int16_or_overflow(x_column(n));  // the column indices are 16-bit; checked once before anything is read
    std::vector<std::string_view> views(static_cast<std::size_t>(n) + 2);
    std::string scratch;
    if (n < kLoadThreadOrder || std::thread::hardware_concurrency() < 2) {
        for (int i = 1; i <= n; ++i) load_row(grid, st, i, views, scratch);
        return;
    }
    const std::vector<float> x_before(st.X.begin(), st.X.begin() + n + 1);
    const int half = n / 2;
    int failed_high = n + 1;
    std::thread helper;
    try {
        helper = std::thread([&] { failed_high = load_rows(grid, st, half + 1, n); });
    } catch (const std::system_error&) {
        failed_high = load_rows(grid, st, half + 1, n);  // no thread to be had: both halves here
    }
    const int failed_low = load_rows(grid, st, 1, half);
    if (helper.joinable()) helper.join();
    const int failed = failed_low <= half ? failed_low : failed_high;
    for (int i = failed; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) st.A(i, j) = 0.0f;
        st.B[i] = 0.0f;
        st.X[i] = x_before[i];
    }
    for (int i = failed; i <= n; ++i) load_row(grid, st, i, views, scratch);
}

// Runs one group of steps under a trap that shows `message` on any failure; false when it fired.
template <class Steps>
bool trapped(App& app, const std::string& message, Steps&& steps) {
    try {
        steps();
        return true;
    } catch (const RunError&) {
    } catch (const std::bad_alloc&) {
    }
    app.box->message(message);
    app.last_run.end = RunEnd::Message;
    app.last_run.fault = message;
    return false;
}

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

// The value of an index box; the boxes hold integers written by the program.
int index_value(const App& app, int k) { return text_to_int16(app.ui->text(txt_index(k))); }

}  // namespace

namespace {

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

namespace {

// What no trap of a handler covers (the steps after its last trap, such as enabling the buttons or
// showing the duration) ends the command silently, as an untrapped failure does, rather than leaving
// it for the event loop.
template <class Steps>
void untrapped_ends_silently(App& app, Steps&& steps) {
    try {
        steps(app);
    } catch (const std::exception& e) {
        try {
            record_fault(app, dynamic_cast<const RunError*>(&e) ? e.what() : error_name(ErrorKind::OutOfMemory));
        } catch (const std::exception&) {
        }
    }
}

}  // namespace

void cmdN_Click(App& app) { untrapped_ends_silently(app, cmdN_Click_steps); }
void cmdSolution_Click(App& app) { untrapped_ends_silently(app, cmdSolution_Click_steps); }
void cmdIter_Click(App& app) { untrapped_ends_silently(app, cmdIter_Click_steps); }

}  // namespace varnex
