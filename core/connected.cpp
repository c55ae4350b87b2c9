// The row file as the solver reads it, and the column relaxation over it (connected mode).
//
// Every reader comes in two forms. The plain one reads each value through get_a/get_b exactly as the
// method describes it, one record at a time. The fast one takes the values in larger pieces: the
// set-up reads the file once, row by row, and forms the residual of each equation and its terms of
// every column norm as it goes (each norm still sums its column from the first equation to the last);
// the sweep walks the memory mapping with pointers when the file fits in memory, and streams the file
// panel by panel when it does not (core/panel_stream.h). The fast forms perform the same arithmetic
// steps on the same values in the same order, so both give the same bits, and they fall back to the
// plain form whenever the file does not hold every record of the system (records beyond the end then
// read as 0).

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/connected_sweeps.h"
#include "core/convert.h"
#include "core/exact.h"
#include "core/numerics.h"
#include "core/panel_stream.h"
#include "core/row_access.h"
#include "core/row_file.h"
#include "core/row_stream.h"

namespace varnex {

// ---- the file ----------------------------------------------------------------------------------

RowFile::RowFile() = default;

RowFile::~RowFile() { close(); }

void RowFile::open(const std::string& path) {
    close();
    // Opened read-only, created empty when missing and never truncated: a solve reads the file that
    // the last conversion left. A link at the path is not followed: the row file lies beside the
    // application folder, where anyone who may write there could point it at another file.
    int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0) {
        // A link, or something that is no file (a folder): said as such; anything else is a file error.
        struct stat lb {};
        if (::lstat(path.c_str(), &lb) == 0 && !S_ISREG(lb.st_mode))
            throw RunError(ErrorKind::FileError, row_file_refusal(path, S_ISLNK(lb.st_mode)));
        raise(ErrorKind::FileError);
    }
    struct stat sb {};
    if (::fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
        ::close(fd);
        throw RunError(ErrorKind::FileError, row_file_refusal(path, false));
    }
    fd_ = fd;
    if (sb.st_size <= 0) return;
    void* m = ::mmap(nullptr, static_cast<std::size_t>(sb.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (m == MAP_FAILED) {
        close();
        raise(ErrorKind::FileError);
    }
    map_ = static_cast<const unsigned char*>(m);
    size_ = static_cast<std::size_t>(sb.st_size);
    guard_.guard(map_, size_);
    const RowAccess access = row_access();
    streamed_ = access == RowAccess::Streamed || access == RowAccess::StreamedCached ||
                (access == RowAccess::Automatic && streams_file(size_));
    // Direct reads bypass the page cache, which a file larger than memory would only churn; where the
    // file system refuses them, the streams read through the cache and drop what they have read.
    if (streamed_ && access != RowAccess::StreamedCached)
        direct_fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC | O_NOFOLLOW);
    // A mapped file that is not in the page cache yet is read into it in folios of 2 MB, which the
    // mapping then maps whole: the sweep's column walks touch one page per equation.
    if (!streamed_) ::madvise(const_cast<unsigned char*>(map_), size_, MADV_HUGEPAGE);
}

void RowFile::close() {
    guard_.release();
    if (map_) ::munmap(const_cast<unsigned char*>(map_), size_);
    map_ = nullptr;
    size_ = 0;
    if (direct_fd_ >= 0) ::close(direct_fd_);
    direct_fd_ = -1;
    streamed_ = false;
    drop_norms();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void RowFile::check_intact() const {
    if (fd_ < 0) return;
    struct stat sb {};
    if (guard_.lost() || ::fstat(fd_, &sb) != 0 || static_cast<std::uint64_t>(sb.st_size) < size_)
        raise(ErrorKind::FileError);
}

std::string row_file_refusal(const std::string& path, bool link) {
    return link ? path + " is a link; the row file must be a file of its own, so it is not followed."
                : path + " is not an ordinary file; the row file must be one.";
}

void RowFile::keep_seed(std::unique_ptr<PanelSeed> seed) const { seed_ = std::move(seed); }

void RowFile::drop_seed() const { seed_.reset(); }

std::unique_ptr<PanelSeed> RowFile::take_seed(int n) const {
    if (!seed_ || seed_->order() != n) return nullptr;
    return std::move(seed_);
}

float RowFile::record(std::int64_t r) const {
    if (fd_ < 0 || r < 1) raise(ErrorKind::FileError);
    std::uint64_t off = static_cast<std::uint64_t>(r - 1) * kRecordLength;
    // The value is set to 0 before the read; a read beyond the end leaves it so.
    if (off + 4 > size_) return 0.0f;
    return record_value(map_ + off);
}

std::int32_t record_of(int16_t i, int16_t j, int16_t n) {
    int16_t n1 = int16_or_overflow(static_cast<long long>(n) + 1);
    std::int32_t row = int32_or_overflow(static_cast<long long>(i) - 1);
    std::int32_t prod = int32_or_overflow(static_cast<long long>(n1) * row);
    return int32_or_overflow(static_cast<long long>(prod) + j);
}

float get_a(const RowFile& f, int16_t i, int16_t j, int16_t n) { return f.record(record_of(i, j, n)); }

float get_b(const RowFile& f, int16_t i, int16_t n) {
    return get_a(f, i, int16_or_overflow(static_cast<long long>(n) + 1), n);
}

namespace {

// X, R and D cover 1..N only after a complete dimensioning; a set-up that failed part way may have
// left them shorter, and reading past them would be a subscript error, not a crash.
void require_vectors(const SystemState& st) {
    std::size_t need = static_cast<std::size_t>(st.N) + 1;
    if (st.X.size() < need || st.R.size() < need || st.D.size() < need) raise(ErrorKind::Subscript);
}

// True when the mapping holds the value bytes of every record 1..N(N+1), so that the fast loops may
// read without a bounds check. Also raises the record-number overflow that the plain readers would
// raise on their first read (N + 1 beyond the 16-bit range).
bool covers_system(const RowFile& f, int16_t n) {
    if (!f.is_open()) raise(ErrorKind::FileError);
    std::int64_t last = record_of(n, int16_or_overflow(static_cast<long long>(n) + 1), n);
    return f.bytes() && static_cast<std::uint64_t>(last - 1) * kRecordLength + 4 <= f.size();
}

// The text of x into grid cell (i, 1) of the solution layout.
void show_x(GridModel& grid, int i, float x) {
    char buf[32];
    grid.set_text(i, 1, std::string_view(buf, single_to_text(x, buf)));
}

}  // namespace

// ---- residual R = A*X - B ------------------------------------------------------------------------

void get_residual_file_plain(SystemState& st) {
    const int16_t n = st.N;
    if (n < 1) return;
    require_vectors(st);
    const RowFile& f = st.solve_row_file;
    std::vector<float>& R = st.R;
    const std::vector<float>& X = st.X;
    // i: equation; j: unknown.
    for (int16_t i = 1; i <= n; i = int16_or_overflow(i + 1)) {
        R[i] = -get_b(f, i, n);
        check(R[i]);
        for (int16_t j = 1; j <= n; j = int16_or_overflow(j + 1)) {
            R[i] = mul_add(get_a(f, i, j, n), X[j], R[i]);
            check(R[i]);
        }
    }
}

namespace {

// One row's terms of the column norms: d[m] = f(a[m]*a[m] + d[m]) for m = 0..n-1, where d[m] is still
// finite; a norm that has met an infinity or a NaN keeps the first such value, which is where the
// column walk of get_norms_file_plain stops.
void add_norm_terms(float* d, const float* a, int n) {
    for (int m = 0; m < n; ++m) {
        const float old = d[m];
        const float v = mul_add(a[m], a[m], old);
        d[m] = std::isfinite(old) ? v : old;
    }
}

// The column norms of the whole file in one pass over its rows; d[i] for i = 1..n.
std::vector<float> norms_pass(const RowFile& f, int n) {
    std::vector<float> d(static_cast<std::size_t>(n) + 1, 0.0f);
    RowStream rows(f, n);
    while (const float* a = rows.next()) add_norm_terms(d.data() + 1, a, n);
    return d;
}

// One equation's residual r = -b + a(1)*X(1) + ... + a(n)*X(n) from its row a (b at a[n]), each term
// rounded as it is stored; a stored infinity or NaN raises the fault there.
void residual_row(float& r, const float* a, int n, const float* X) {
    r = -a[n];
    check(r);
    for (int j = 1; j <= n; ++j) {
        r = mul_add(a[j - 1], X[j], r);
        if (!std::isfinite(r)) [[unlikely]]
            raise(ErrorKind::Overflow);
    }
}

// Equations whose residuals are formed side by side: each is a chain of roundings of its own, and
// eight chains keep the processor's adders busy where one chain waits for each rounding in turn.
constexpr int kResidualRows = 8;

// The residuals of the kResidualRows equations whose rows (n + 1 values each) follow one another
// in rows, term by term as residual_row forms them but without its checks; into r.
void residual_rows(const float* rows, int n, const float* X, float* r) {
    const std::size_t len = static_cast<std::size_t>(n) + 1;
    for (int k = 0; k < kResidualRows; ++k) r[k] = -rows[k * len + n];
    for (int j = 1; j <= n; ++j) {
        const float x = X[j];
        for (int k = 0; k < kResidualRows; ++k) r[k] = mul_add(rows[k * len + j - 1], x, r[k]);
    }
}

}  // namespace

void get_residual_file(SystemState& st) {
    const int16_t n = st.N;
    if (n < 1) return;
    require_vectors(st);
    const RowFile& f = st.solve_row_file;
    if (!covers_system(f, n)) return get_residual_file_plain(st);
    f.drop_norms();
    float* R = st.R.data();
    const float* X = st.X.data();
    // The norms ride along: the rows that the residual reads are all that the norms need.
    std::vector<float> d(static_cast<std::size_t>(n) + 1, 0.0f);
    // A streamed file also keeps the first panels of its columns for the next sweep: as many as half
    // of the memory beside the stream's buffers holds, the whole system when it fits there.
    const int p = panel_columns(n);
    std::unique_ptr<PanelSeed> seed =
        f.streamed() ? std::make_unique<PanelSeed>(n, p, seed_panels(n, p, RowStream::buffer_bytes())) : nullptr;
    auto keep = [&](int i, const float* a) {
        if (seed) seed->add_row(i, a);
        add_norm_terms(d.data() + 1, a, n);
    };
    RowStream rows(f, n);
    const std::size_t len = static_cast<std::size_t>(n) + 1;
    std::vector<float> block(kResidualRows * len);
    float r[kResidualRows];
    // i: equation, whose n+1 values come in one row (a(i,1..n), then b(i)).
    int i = 1;
    for (; i + kResidualRows - 1 <= n; i += kResidualRows) {
        for (int k = 0; k < kResidualRows; ++k) rows.next(block.data() + k * len);
        residual_rows(block.data(), n, X, r);
        // An infinity or a NaN stays one through the later terms, so a fault shows in the end value;
        // the equations are then formed again one by one, which raises it at its term.
        const bool finite = std::all_of(r, r + kResidualRows, [](float v) { return std::isfinite(v); });
        for (int k = 0; k < kResidualRows; ++k) {
            const float* a = block.data() + k * len;
            if (finite)
                R[i + k] = r[k];
            else
                residual_row(R[i + k], a, n, X);
            keep(i + k, a);
        }
    }
    for (; i <= n; ++i) {
        const float* a = rows.next();
        residual_row(R[i], a, n, X);
        keep(i, a);
    }
    f.keep_norms(n, std::move(d));
    f.keep_seed(std::move(seed));
}

// ---- squared column norms D ----------------------------------------------------------------------

void get_norms_file_plain(SystemState& st, MessageBoxes& box) {
    const int16_t n = st.N;
    if (n < 1) return;
    require_vectors(st);
    const RowFile& f = st.solve_row_file;
    std::vector<float>& D = st.D;
    // i: unknown (column); j: equation. Each a(j,i) is read twice, once per factor.
    for (int16_t i = 1; i <= n; i = int16_or_overflow(i + 1)) {
        D[i] = 0.0f;
        for (int16_t j = 1; j <= n; j = int16_or_overflow(j + 1)) {
            float first = get_a(f, j, i, n);
            float second = get_a(f, j, i, n);
            D[i] = mul_add(second, first, D[i]);
            check(D[i]);
        }
        if (D[i] == 0.0f) {
            box.message(st.msg.MsgBadFile);
            return;
        }
    }
}

void get_norms_file(SystemState& st, MessageBoxes& box) {
    const int16_t n = st.N;
    if (n < 1) return;
    require_vectors(st);
    const RowFile& f = st.solve_row_file;
    if (!covers_system(f, n)) return get_norms_file_plain(st, box);
    // The norms of the last residual set-up over this open file, or a pass of their own.
    std::vector<float> fresh;
    const std::vector<float>* d = &f.norms(n);
    if (d->empty()) {
        fresh = norms_pass(f, n);
        d = &fresh;
    }
    float* D = st.D.data();
    // i: unknown (column), in the order in which the column walk finishes them.
    for (int i = 1; i <= n; ++i) {
        D[i] = (*d)[static_cast<std::size_t>(i)];
        check(D[i]);
        if (D[i] == 0.0f) {
            box.message(st.msg.MsgBadFile);
            return;
        }
    }
}

// ---- one sweep -----------------------------------------------------------------------------------

void do_iteration_file_plain(SystemState& st, GridModel& grid) {
    const int16_t n = st.N;
    if (n < 1) return;
    require_vectors(st);
    const RowFile& f = st.solve_row_file;
    std::vector<float>& X = st.X;
    std::vector<float>& R = st.R;
    const std::vector<float>& D = st.D;
    // i: the unknown being moved; j: equation.
    for (int16_t i = 1; i <= n; i = int16_or_overflow(i + 1)) {
        float s = 0.0f;
        for (int16_t j = 1; j <= n; j = int16_or_overflow(j + 1)) {
            s = mul_add(get_a(f, j, i, n), R[j], s);
            check(s);
        }
        float num = -s;
        s = quot(num, D[i]);
        check_quot(s, num, D[i]);
        X[i] = static_cast<float>(static_cast<double>(s) + static_cast<double>(X[i]));
        check(X[i]);
        show_x(grid, i, X[i]);
        st.Er = 0.0f;
        for (int16_t j = 1; j <= n; j = int16_or_overflow(j + 1)) {
            R[j] = mul_add(get_a(f, j, i, n), s, R[j]);
            check(R[j]);
            if (R[j] > st.Er) st.Er = R[j];
        }
    }
}

void do_iteration_file(SystemState& st, GridModel& grid) {
    if (st.solve_row_file.streamed()) {
        // The panels that the set-up kept fix their width for the first sweep.
        const PanelSeed* seed = st.solve_row_file.seed();
        const int p = seed && seed->order() == st.N ? seed->panel_columns() : panel_columns(st.N);
        do_iteration_file_streamed(st, grid, column_kernels_best(), p);
    } else if (st.N >= kGatherThreadMinOrder && idle_second_processor())
        do_iteration_file_gathered(st, grid, column_kernels_best(), kColumnBufferRows);
    else
        do_iteration_file_with(st, grid, column_kernels_best(), kColumnBufferRows);
}

}  // namespace varnex
