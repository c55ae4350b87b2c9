// The Connect command: a text system file converted once into the binary row file, after which the
// solve commands iterate over that file (connected mode).

#include "commands/connect_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "commands/open_command.h"
#include "commands/row_file_lock.h"
#include "core/convert.h"
#include "core/exact.h"
#include "core/memory_budget.h"
#include "core/row_file_writer.h"
#include "files/text_io.h"

namespace varnex {

namespace {

// Reads a text file line by line in large blocks, so that only one block and the current line are
// ever held. A line ends at LF; one CR right before that LF, or at the very end of the file, is
// dropped. A file that ends with a line end has no empty line after it. The buffer keeps kScanSlack
// bytes behind its data, so that the token scanner may read past the end of a line.
class LineStream {
  public:
    // 256 KB: a read this large already runs at the disk's sequential speed, and the heap of a
    // Connect stays near the vectors' size.
    static constexpr std::size_t kBlock = 1 << 18;

    explicit LineStream(int fd) : fd_(fd), buf_(kBlock + kScanSlack) {
        // A text file large against memory is read once: the pages behind the reader are let go.
        struct stat sb {};
        drop_behind_ = ::fstat(fd, &sb) == 0 && static_cast<std::uint64_t>(sb.st_size) > usable_memory() / 4;
        if (drop_behind_) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }

    /// From now on a line longer than `bytes` raises LineTooLong instead of growing the buffer.
    void limit_line(std::size_t bytes) { limit_ = bytes; }

    /// The next line, valid until the next call; false at the end of the file.
    bool next(std::string_view& line) {
        for (;;) {
            const char* start = buf_.data() + begin_;
            if (const void* lf = std::memchr(start, '\n', end_ - begin_)) {
                std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
                line = std::string_view(start, len);
                begin_ += len + 1;
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                return true;
            }
            if (eof_) {
                if (begin_ == end_) return false;
                line = std::string_view(start, end_ - begin_);
                begin_ = end_;
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                return true;
            }
            fill();
        }
    }

  private:
    // Moves the unfinished line to the front and reads the next block behind it; a line longer than
    // the buffer doubles the buffer.
    void fill() {
        if (begin_ > 0) {
            std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (buf_.size() - kScanSlack - end_ < kBlock / 2) {
            if (end_ > limit_) throw LineTooLong();
            buf_.resize(buf_.size() * 2);
        }
        ssize_t n;
        do {
            n = ::read(fd_, buf_.data() + end_, buf_.size() - kScanSlack - end_);
        } while (n < 0 && errno == EINTR);
        if (n < 0) raise(ErrorKind::FileError);
        if (n == 0) eof_ = true;
        end_ += static_cast<std::size_t>(n);
        read_ += static_cast<off_t>(n);
        if (drop_behind_ && read_ - dropped_ >= (64 << 20)) {
            ::posix_fadvise(fd_, dropped_, read_ - dropped_, POSIX_FADV_DONTNEED);
            dropped_ = read_;
        }
    }

    int fd_;
    std::vector<char> buf_;
    std::size_t begin_ = 0, end_ = 0;
    std::size_t limit_ = longest_valid_line(0);
    bool eof_ = false;
    bool drop_behind_ = false;
    off_t read_ = 0, dropped_ = 0;
};

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

// A file descriptor closed on every way out.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
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
void convert_lines(App& app, LineStream& lines, RowWriter& out) {
    std::string_view line;
    // k: the line (equation) number, 32-bit.
    for (std::int32_t k = 1;; k = int32_or_overflow(static_cast<long long>(k) + 1)) {
        if (!lines.next(line)) {
            // An empty file gives no order at all.
            if (k == 1) raise(ErrorKind::Subscript);
            return;
        }
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
                token_to_single(token);
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
    Fd text;
    text.fd = open_text_file(path);
    RowWriter out;
    if (text.fd >= 0) {
        // The row file becomes this program's before anything is written into it; a row file that
        // another program holds, or that is a link, is refused with its own sentence.
        const std::string rows = row_file_path(app.app_folder);
        if (report_lock(lock_row_file(rows), rows, app)) return result;
        try {
            out.open(rows);
        } catch (const RunError&) {
        }
    }
    if (text.fd < 0 || !out.is_open()) {
        app.box->message(st.msg.MsgBadFile);
        return result;
    }
    // Second trap: any failure of the conversion. The records written so far stay in the file; the
    // order goes back to the system that is still in force, so that the earlier mode stays whole.
    const int16_t old_n = st.N;
    const std::string old_txt_n = app.ui->text(Ctl::txtN);
    try {
        LineStream lines(text.fd);
        convert_lines(app, lines, out);
        out.close();
        ::close(text.fd);
        text.fd = -1;
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
