// The Connect command: a text system file converted once into the binary row file, after which the
// solve commands iterate over that file (connected mode).

#include "commands/connect_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include "commands/open_command.h"
#include "commands/row_file_lock.h"
#include "core/convert.h"
#include "core/exact.h"
#include "core/number_reading.h"
#include "core/row_file_writer.h"
#include "files/text_io.h"

namespace varnex {

namespace {

// Walks the blank-separated tokens of a line as get_row splits them: only U+0020 separates, a tab
// or any other character is part of a token. Counts them with get_row's 16-bit limit.
class Tokens {
  public:
    explicit Tokens(std::string_view line) : p_(line.data()), end_(line.data() + line.size()) {}

    bool next(std::string_view& token) {
        while (p_ < end_ && *p_ == ' ') ++p_;
        if (p_ == end_) return false;
        const void* blank = std::memchr(p_, ' ', static_cast<std::size_t>(end_ - p_));
        const char* stop = blank ? static_cast<const char*>(blank) : end_;
        token = std::string_view(p_, static_cast<std::size_t>(stop - p_));
        p_ = stop;
        count_ = int16_or_overflow(count_ + 1);
        return true;
    }

    /// Counts the rest of the line, raising the overflow that get_row raises beyond 32767 tokens.
    int16_t count_all() {
        std::string_view t;
        while (next(t)) {
        }
        return count_;
    }

  private:
    const char* p_;
    const char* end_;
    int16_t count_ = 0;
};

// Opens an existing ordinary file for reading; -1 when it cannot be had.
int open_text_file(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat sb {};
    if (::fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Steps 5 and 6 of the conversion: every line up to line N, its first N + 1 tokens converted and
// written as the records (N + 1)(k - 1) + 1 ... (N + 1)k, in increasing order. Sets N from the first
// line. A line with fewer than N + 1 tokens (an empty line included) and a first line of fewer than
// two tokens raise RunError.
void convert_lines(App& app, FileLines& lines, RowWriter& out) {
    // k: the line (equation) number, 32-bit.
    for (std::int32_t k = 1;; k = int32_or_overflow(static_cast<long long>(k) + 1)) {
        if (lines.at_end()) {
            // An empty file gives no order at all.
            if (k == 1) raise(ErrorKind::Subscript);
            return;
        }
        const std::string_view line = lines.next();
        if (k == 1) {
            int16_t m = Tokens(line).count_all();
            if (m < 2) raise(ErrorKind::Subscript);
            app.st.N = int16_or_overflow(m - 1);
            app.ui->set_text(Ctl::txtN, int_to_text(app.st.N));
            lines.limit_line(longest_valid_line(app.st.N));
        }
        const int16_t n = app.st.N;
        const int16_t n1 = int16_or_overflow(static_cast<long long>(n) + 1);
        const std::int32_t row =
            int32_or_overflow(static_cast<long long>(n1) * int32_or_overflow(static_cast<long long>(k) - 1));
        // j: the token, a(k, j) for j <= N and b(k) for j = N + 1, converted a batch at a time; p walks
        // the line. A batch that comes up short is the line with too few tokens: the records of the
        // tokens before the missing one are still written.
        const char* p = line.data();
        const char* const end = p + line.size();
        float batch[64];
        for (int j = 1; j <= n1;) {
            const int want = n1 - j + 1 < 64 ? n1 - j + 1 : 64;
            const int got = scan_tokens(p, end, batch, want);
            out.put_run(int32_or_overflow(static_cast<long long>(row) + j), batch, got);
            j += got;
            if (got < want) {
                // The line ends here, or token j is not a number: raised now, after the records of
                // the tokens before it, as a token-by-token reading raises it.
                std::string_view token;
                if (!Tokens(std::string_view(p, static_cast<std::size_t>(end - p))).next(token))
                    raise(ErrorKind::Subscript);
                text_to_single(token);
                raise(ErrorKind::TypeMismatch);
            }
        }
        // The tokens after b(k) are ignored but counted, as get_row counts them.
        int16_or_overflow(n1 + Tokens(std::string_view(p, static_cast<std::size_t>(end - p))).count_all());
        if (k >= n) return;
    }
}

// The conversion with its outcome: whether it succeeded and whether the row file was changed.
struct Conversion {
    bool ok = false;
    bool touched = false;
};

Conversion convert(App& app, const std::string& path, std::vector<float>& x) {
    SystemState& st = app.st;
    Conversion result;
    // First trap: the two files cannot be opened. Nothing is written, N and x stay.
    std::optional<InputFile> text;
    if (const int fd = open_text_file(path); fd >= 0) text.emplace(fd);
    RowWriter out;
    if (text) {
        // The row file becomes this program's before anything is written into it; a row file that
        // another program holds, or that is a link, is refused with its own sentence.
        const std::string rows = row_file_path(app.app_folder);
        if (report_lock(lock_row_file(rows), rows, app)) return result;
        try {
            out.open(rows);
        } catch (const RunError&) {
        }
    }
    if (!text || !out.is_open()) {
        app.box->message(st.msg.MsgBadFile);
        return result;
    }
    // Second trap: any failure of the conversion. The records written so far stay in the file; the
    // order goes back to the system that is still in force, so that the earlier mode stays whole.
    const int16_t old_n = st.N;
    const std::string old_txt_n = app.ui->text(Ctl::txtN);
    try {
        FileLines lines(*text);
        // A line is held whole while its tokens are converted: one far longer than any order allows
        // is refused.
        lines.limit_line(longest_valid_line(0));
        convert_lines(app, lines, out);
        out.close();
        text.reset();
        dim_cleared(x, st.N);
        get_solution(app, path, x);
        result.ok = true;
    } catch (const std::exception&) {
        result.touched = out.records_put() > 0;
        try {
            out.close();
        } catch (const RunError&) {
        }
        st.N = old_n;
        app.ui->set_text(Ctl::txtN, old_txt_n);
        // A line far too long for its order is no system file's; any other failure is a token's.
        const bool too_long = [] {
            try {
                throw;
            } catch (const LineTooLong&) {
                return true;
            } catch (...) {
                return false;
            }
        }();
        app.box->message(too_long ? st.msg.MsgBadFile : st.msg.MsgBadNumber);
        return result;
    }
    result.touched = true;
    return result;
}

}  // namespace

std::string row_file_path(const std::string& app_folder) { return app_folder + "data.vnx"; }

void connect_to_file(App& app, const std::string& path, std::vector<float>& x) { convert(app, path, x); }

void Connect_Click(App& app) {
    SystemState& st = app.st;
    // The command's own trap: a failure outside the conversion ends the command silently.
    try {
        app.cd->InitDir = app.app_folder + "/data/";
        std::filesystem::current_path(app.cd->InitDir);
        if (!app.cd->ShowOpen()) return;
        // The row file is about to be rewritten; no reader may keep it open meanwhile.
        st.solve_row_file.close();
        const bool was_connected = st.DataMode == kModeConnected;
        Conversion c = convert(app, app.cd->FileName, st.X);
        if (!c.ok) {
            // The earlier connected system's records are now partly overwritten: it cannot be solved
            // again until a system is set up anew.
            if (was_connected && c.touched) {
                app.ui->set_enabled(Ctl::cmdSolution, false);
                app.ui->set_enabled(Ctl::cmdIter, false);
            }
            return;
        }
        dim_cleared(st.R, st.N);
        dim_cleared(st.D, st.N);
        st.DataMode = kModeConnected;
        app.ui->set_enabled(Ctl::cmdSolution, true);
        app.ui->set_enabled(Ctl::cmdIter, true);
        app.ui->set_text(Ctl::txtN, int_to_text(st.N));
        app.ui->set_text(Ctl::txtEps, double_to_text(st.N / 10.0));
        app.grid.fill_x(st.N, st.X);
        st.IterCount = 1;
    } catch (const std::exception&) {
    }
}

}  // namespace varnex
