#include "commands/open_command.h"

#include <algorithm>
#include <exception>
#include <new>
#include <string_view>

#include "commands/row_file_lock.h"
#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "core/memory_budget.h"
#include "core/order_notes.h"
#include "files/text_files.h"
#include "files/text_io.h"

namespace varnex {

namespace {

// Lays the system of the file into the grid: the first line gives N and the layout, line k fills row
// k. The file is read a chunk at a time while its lines go into the grid. Raises on every fault of the
// file; the cells written before it keep their texts.
void read_system(App& app, InputFile& file) {
    SystemState& st = app.st;
    const std::uint64_t file_bytes = file.remaining_hint();
    FileLines lines(file);
    // A line is held whole while it is split: one far longer than the order allows is refused.
    lines.limit_line(longest_valid_line(0));
    // A file without any line has no order to lay out.
    if (lines.at_end()) raise(ErrorKind::FileError);
    std::vector<std::string_view> y;
    int16_t k = 1;
    while (!lines.at_end()) {
        split_tokens(lines.next(), y);
        const int m = static_cast<int>(y.size());
        if (k == 1) {
            // A first line of fewer than two tokens gives no order of at least 1, and an order that the
            // layout cannot hold fails in fill_data: either way N and the grid stay as they were, so
            // the window keeps showing a consistent system.
            if (m < 2) raise(ErrorKind::FileError);
            if (m - 1 > kMaxMemoryOrder) app.ui->status(order_limit_note(m - 1));
            const int16_t n = int16_or_overflow(m - 1);
            lines.limit_line(longest_valid_line(n));
            const std::uint64_t cells = static_cast<std::uint64_t>(n) * (n + 1);
            ensure_system_memory(app, n, std::min<std::uint64_t>(file_bytes, cells * kTokenText));
            app.grid.fill_data(n);
            st.N = n;
        } else if (m == 0) {
            // An empty or blank line inside the system would silently repeat the previous row.
            raise(ErrorKind::FileError);
        }
        // Token j (a(k,j), then b(k) for j = N + 1) goes unchanged into value column j of row k; a
        // short line fails at its first missing token.
        const int last = int16_or_overflow(st.N + 1);
        for (int j = 1; j <= last; ++j) {
            if (j > m) raise(ErrorKind::Subscript);
            app.grid.set_text(k, int16_or_overflow(value_column(j)), y[static_cast<std::size_t>(j) - 1]);
        }
        k = int16_or_overflow(k + 1);
        if (k > st.N) break;
    }
}

// How a trapped group of steps ended.
enum class Trapped { No, Memory, Other };

// Every failure that a trap catches: the run-time errors and whatever the library throws. Memory
// that runs out is told apart, so that it is reported as such rather than as a bad file.
template <class Body>
Trapped trapped(Body&& body) {
    try {
        body();
        return Trapped::No;
    } catch (const std::bad_alloc&) {
        return Trapped::Memory;
    } catch (const RunError& e) {
        return e.kind() == ErrorKind::OutOfMemory ? Trapped::Memory : Trapped::Other;
    } catch (const std::exception&) {
        return Trapped::Other;
    }
}

// The message of a reader's trap: MsgNoMemory for memory, `bad` for everything else.
void report(App& app, Trapped how, const std::string& bad) {
    if (how == Trapped::No) return;
    app.box->message(how == Trapped::Memory ? app.st.msg.MsgNoMemory : bad);
}

// Passes the command's messages on, but says MsgNoMemory only once: an Open that runs out of memory
// while reading and again while dimensioning the arrays reports it one time.
class OnceForMemory : public MessageBoxes {
  public:
    OnceForMemory(MessageBoxes& inner, const std::string& no_memory) : inner_(inner), no_memory_(no_memory) {}
    void message(std::string_view text) override {
        if (text == no_memory_) {
            if (said_) return;
            said_ = true;
        }
        inner_.message(text);
    }
    bool ask_yes_no(std::string_view text) override { return inner_.ask_yes_no(text); }

  private:
    MessageBoxes& inner_;
    const std::string& no_memory_;
    bool said_ = false;
};

}  // namespace

void open_file(App& app, const std::string& name) {
    SystemState& st = app.st;
    if (!is_ordinary_file(name)) {
        app.box->message(st.msg.MsgNoFile);
        return;
    }
    // Opening the file is outside this procedure's trap: its failure goes to the command.
    InputFile file(name);
    Trapped how = trapped([&] {
        read_system(app, file);
        std::vector<float> xs;
        dim_cleared(xs, st.N);
        get_solution(app, name, xs);
        // The stored solution (or zeros) becomes the approximation column.
        const int col = int16_or_overflow(x_column(st.N));
        char buf[32];
        for (int i = 1; i <= st.N; ++i)
            app.grid.set_text(i, col, std::string_view(buf, single_to_text(xs[static_cast<std::size_t>(i)], buf)));
    });
    report(app, how, st.msg.MsgBadFile);
}

void get_solution(App& app, const std::string& path, std::vector<float>& x) {
    SystemState& st = app.st;
    const int n = st.N;
    // The trap covers everything after the zeroing: the name and path, the existence test (a name that
    // the file system rejects), the reading and the conversions.
    Trapped how = trapped([&] {
        if (x.size() < static_cast<std::size_t>(n) + 1) x.resize(static_cast<std::size_t>(n) + 1, 0.0f);
        for (int i = 1; i <= n; ++i) x[static_cast<std::size_t>(i)] = 0.0f;
        const std::string file = app.app_folder + "/data/solutions/" + solution_name(path);
        if (!is_ordinary_file(file)) return;
        InputFile in(file);
        FileLines lines(in);
        lines.limit_line(longest_valid_line(n));
        // Only the first line is read; a file without one holds no solution.
        if (lines.at_end()) raise(ErrorKind::FileError);
        std::string line(lines.next());
        int16_t m = 0;
        std::vector<std::string> y;
        get_row(line, m, y);
        for (int i = 1; i <= n; ++i) {
            if (i > m) raise(ErrorKind::Subscript);
            x[static_cast<std::size_t>(i)] = text_to_single(y[static_cast<std::size_t>(i)]);
        }
    });
    report(app, how, st.msg.MsgBadFile);
}

namespace {

// Open with the file chosen in the dialog, or with `given` (a file dropped on the window) in its place.
void open_command(App& app, const std::string* given) {
    SystemState& st = app.st;
    OnceForMemory once(*app.box, st.msg.MsgNoMemory);
    // The filter stands in for the message boxes while the command runs, however it ends.
    struct Restore {
        App& app;
        MessageBoxes* boxes;
        ~Restore() { app.box = boxes; }
    } restore{app, app.box};
    app.box = &once;
    bool cancelled = false;
    Trapped how = trapped([&] {
        app.cd->InitDir = app.app_folder + "/data/";
        change_directory(app.cd->InitDir);
        if (given) {
            app.cd->FileName = *given;
        } else if (!app.cd->ShowOpen()) {
            cancelled = true;
            return;
        }
        open_file(app, app.cd->FileName);
        enter_memory_mode(app);
    });
    try {
        report(app, how, st.msg.MsgBadFile);
    } catch (const std::exception&) {
        // A box that cannot even be shown for want of memory: the command has nothing left to do.
    }
    if (how != Trapped::No || cancelled) return;
    reset_for_order(app);
}

}  // namespace

void Open_Click(App& app) { open_command(app, nullptr); }

void open_path(App& app, const std::string& path) { open_command(app, &path); }

void ensure_system_memory(const App& app, int n, std::uint64_t text_bytes) {
    const std::uint64_t n1 = static_cast<std::uint64_t>(n) + 1;
    const std::uint64_t need = text_bytes + 8 * n1 * n1 + 4 * n1 * n1 + 5 * 4 * n1;
    const std::uint64_t held =
        app.grid.memory_bytes() + 4 * static_cast<std::uint64_t>(app.st.A.stride()) * app.st.A.stride();
    if (need > held && !fits_in_memory(need - held)) raise(ErrorKind::OutOfMemory);
}

void enter_memory_mode(App& app) {
    app.st.DataMode = kModeMemory;
    unlock_row_file();  // the row file is no longer this program's
    app.ui->set_enabled(Ctl::cmdA, true);
    app.ui->set_enabled(Ctl::cmdB, true);
    app.ui->set_enabled(Ctl::cmdSolution, true);
    app.ui->set_enabled(Ctl::cmdIter, true);
}

void reset_for_order(App& app) {
    SystemState& st = app.st;
    const Trapped how = trapped([&] {
        app.ui->set_text(Ctl::txtN, int_to_text(st.N));
        app.ui->set_text(Ctl::txtEps, double_to_text(st.N / 10.0));
        dim_cleared(st.R, st.N);
        dim_cleared(st.D, st.N);
        st.A.dim(st.N);
        dim_cleared(st.B, st.N);
        dim_cleared(st.X, st.N);
        st.IterCount = 1;
    });
    // Whatever failed here, it was memory for the arrays: MsgNoMemory.
    if (how == Trapped::No) return;
    try {
        app.box->message(st.msg.MsgNoMemory);
    } catch (const std::exception&) {
    }
}

}  // namespace varnex
