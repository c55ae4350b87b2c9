#include "files/row_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "core/convert.h"
#include "core/errors.h"
#include "core/row_file.h"

namespace varnex {

// Byte positions pass 2^31 from order 4096 on.
static_assert(sizeof(off_t) == 8, "the row file needs 64-bit file positions");

namespace {
// Records per buffer: 4 MB, large enough that the write calls cost nothing next to the copying.
constexpr std::size_t kBufferRecords = 32768;
}  // namespace

// The helper thread: writes one buffer at a time at its file position and notes a failure, which
// the caller raises at its next hand-over or at close.
struct RowWriter::Writer {
    std::mutex m;
    std::condition_variable cv;
    bool busy = false, quit = false, failed = false;
    int fd = -1;
    const unsigned char* data = nullptr;
    std::size_t len = 0;
    off_t off = 0;
    std::thread thread;

    explicit Writer(int file) : fd(file), thread([this] { run(); }) {}

    void run() {
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            cv.wait(lock, [this] { return busy || quit; });
            if (!busy) return;
            const unsigned char* p = data;
            std::size_t left = len;
            off_t at = off;
            lock.unlock();
            bool ok = true;
            while (left > 0) {
                ssize_t n = ::pwrite(fd, p, left, at);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    ok = false;
                    break;
                }
                p += n;
                left -= static_cast<std::size_t>(n);
                at += n;
            }
            lock.lock();
            failed = failed || !ok;
            busy = false;
            cv.notify_all();
        }
    }
    // Waits until the buffer in hand is written; true when every write so far succeeded.
    bool wait_idle() {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [this] { return !busy; });
        return !failed;
    }
    void start(const unsigned char* p, std::size_t n, off_t at) {
        std::lock_guard<std::mutex> lock(m);
        data = p, len = n, off = at, busy = true;
        cv.notify_all();
    }
    ~Writer() {
        wait_idle();
        {
            std::lock_guard<std::mutex> lock(m);
            quit = true;
            cv.notify_all();
        }
        thread.join();
    }
};

RowWriter::RowWriter() = default;

RowWriter::~RowWriter() {
    writer_.reset();
    if (fd_ >= 0) ::close(fd_);
}

void RowWriter::open(const std::string& path) {
    if (fd_ >= 0) close();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) raise(ErrorKind::FileError);
    // Bytes 4..127 of every buffered record stay zero: put() writes only the value bytes.
    try {
        for (auto& b : bufs_)
            if (b.empty()) b.assign(kBufferRecords * kRecordLength, 0);
        writer_ = std::make_unique<Writer>(fd);
    } catch (const std::exception&) {
        ::close(fd);
        raise(ErrorKind::OutOfMemory);
    }
    fd_ = fd;
    cur_ = 0;
    count_ = 0;
    put_ = 0;
}

void RowWriter::put(std::int64_t r, float v) {
    if (fd_ < 0 || r < 1) raise(ErrorKind::FileError);
    if (count_ == kBufferRecords || (count_ > 0 && r != first_ + static_cast<std::int64_t>(count_))) submit();
    if (count_ == 0) first_ = r;
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    unsigned char* p = bufs_[cur_].data() + count_ * kRecordLength;
    p[0] = static_cast<unsigned char>(u);
    p[1] = static_cast<unsigned char>(u >> 8);
    p[2] = static_cast<unsigned char>(u >> 16);
    p[3] = static_cast<unsigned char>(u >> 24);
    ++count_;
    ++put_;
}

void RowWriter::submit() {
    // The other buffer must be written out before this one is handed over and that one refilled.
    if (!writer_->wait_idle()) raise(ErrorKind::FileError);
    if (count_ > 0) {
        writer_->start(bufs_[cur_].data(), count_ * kRecordLength, static_cast<off_t>(first_ - 1) * kRecordLength);
        cur_ ^= 1;
    }
    count_ = 0;
}

void RowWriter::close() {
    if (fd_ < 0) return;
    bool ok = true;
    try {
        submit();
        ok = writer_->wait_idle();
    } catch (const RunError&) {
        ok = false;
    }
    writer_.reset();
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    if (!ok) raise(ErrorKind::FileError);
}

float token_to_single(std::string_view token) {
    static constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    const char sep = decimal_separator();
    const char* p = token.data();
    const char* const end = p + token.size();
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    // m: the digits read as one integer (at most 19 of them, so it cannot wrap); k: digits after the
    // separator.
    std::uint64_t m = 0;
    int digits = 0, k = 0;
    bool after_sep = false;
    for (; p < end; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            if (digits == 19) return text_to_single(token);
            m = m * 10 + static_cast<unsigned>(c - '0');
            ++digits;
            k += after_sep;
        } else if (c == sep && !after_sep) {
            after_sep = true;
        } else {
            return text_to_single(token);
        }
    }
    if (digits == 0 || m > (std::uint64_t{1} << 24) || k > 10) return text_to_single(token);
    const float v = static_cast<float>(m) / kPow10[k];
    return negative ? -v : v;
}

}  // namespace varnex
