#include "core/row_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "core/async_file_io.h"
#include "core/errors.h"
#include "core/memory_budget.h"
#include "core/row_file.h"

namespace varnex {

// Byte positions pass 2^31 from order 4096 on.
static_assert(sizeof(off_t) == 8, "the row file needs 64-bit file positions");

namespace {
// Values per hand-over buffer: 256 KB of floats stand for 8 MB of records, so a conversion of order
// 2000 takes about 60 hand-overs.
constexpr std::size_t kBufferRecords = 65536;
// Records per write call through the page cache: 2 MB, starting on a 2 MB boundary of the file when
// the records come in whole hand-over buffers, so that the file system keeps the file in the page
// cache as folios of 2 MB, which a mapping of the file maps with one page-table entry each. A sweep's
// column walk touches one page per equation, so with 4 KB pages it would miss the TLB at every value.
constexpr std::size_t kChunkRecords = 16384;
// A file that grows past a quarter of the memory this process may use is written past the page cache:
// runs of whole blocks with direct writes of 4 MB, and whatever cannot be written so (a run that
// does not start on a block, a file system without direct writes) through the cache but behind the
// writer: each write is sent to the disk at once, and what lies more than this far behind the writer
// is waited for and dropped from the cache. Either way dirty pages never pile up for the memory
// limit to write back one at a time.
constexpr off_t kWriteBehind = 16 << 20;
constexpr std::size_t kDirectChunkRecords = 32768;
constexpr int kDirectBuffers = 2;
constexpr off_t kBlock = 4096;

// The value bytes of a record, least significant first: one 4-byte store on a little-endian
// processor (written byte by byte, GCC turns a run of records into a vector shuffle that stores every
// byte apart), byte by byte elsewhere.
inline void store_le(unsigned char* p, float v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, sizeof v);
    } else {
        const auto u = std::bit_cast<std::uint32_t>(v);
        for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(u >> (8 * k));
    }
}

// The values v[0..n-1] into the records from p on.
void store_values(unsigned char* p, const float* v, std::size_t n) {
    for (std::size_t t = 0; t < n; ++t) store_le(p + t * kRecordLength, v[t]);
}

// Writes len bytes at file position at; false on any failure.
bool write_at(int fd, const unsigned char* p, std::size_t len, off_t at) {
    while (len > 0) {
        ssize_t n = ::pwrite(fd, p, len, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        len -= static_cast<std::size_t>(n);
        at += n;
    }
    return true;
}
}  // namespace

// The helper thread: turns one buffer of values at a time into records and writes them from record
// first on, and notes a failure, which the caller raises at its next hand-over or at close. Bytes
// 4..127 of its record buffer are zeroed once and never written again.
struct RowWriter::Writer {
    std::mutex m;
    std::condition_variable cv;
    bool busy = false, quit = false, failed = false;
    int fd = -1;
    int direct_fd = -1;  // the same file opened for direct writes, or -1
    const float* data = nullptr;
    std::size_t count = 0;
    std::int64_t first = 0;
    // Page-aligned, as direct writes need, and zero-filled: the records built for a write through the
    // cache, and a ring of buffers for direct writes, one filled while the others are on their way to
    // the disk.
    Pages records{kChunkRecords * kRecordLength};
    Pages direct_records[kDirectBuffers];
    struct InFlight {
        off_t at = 0;
        std::size_t len = 0;  // 0: the buffer is free
    } in_flight[kDirectBuffers];
    int next_direct = 0;
    std::unique_ptr<AsyncFileIo> io;
    // Bytes after which the file is written past the cache, and the start of the part not yet dropped.
    const std::uint64_t behind_from = usable_memory() / 4;
    off_t dropped = 0;
    std::thread thread;

    Writer(int file, int direct) : fd(file), direct_fd(direct), thread([this] { run(); }) {}

    // Waits for one direct write in flight; a write that failed or came up short is done again
    // through the cache. False when that fails too.
    bool complete_one() {
        std::uint64_t tag;
        long res;
        if (!io->reap(true, tag, res)) return false;
        InFlight& w = in_flight[tag];
        bool ok = res >= 0 && static_cast<std::size_t>(res) == w.len;
        if (!ok) ok = write_at(fd, direct_records[tag].get(), w.len, w.at);
        w.len = 0;
        return ok;
    }
    // Waits for every direct write in flight; false when one failed.
    bool drain() {
        bool ok = true;
        while (io && io->in_flight() > 0) ok = complete_one() && ok;
        return ok;
    }

    // Writes the take values v as the records from byte at on, past the page cache, when the file is
    // large and the run starts on a block: the whole blocks with a direct write that goes on while
    // the next run is built, the rest through the cache. Returns 0 when written, 1 when the run must
    // go through the cache, -1 on a failure.
    int write_direct(const float* v, std::size_t take, off_t at) {
        const std::size_t len = take * kRecordLength;
        if (direct_fd < 0 || static_cast<std::uint64_t>(at) + len <= behind_from || at % kBlock != 0) return 1;
        if (!io) {
            // What went through the cache so far goes to the disk and leaves the cache first.
            ::sync_file_range(fd, 0, 0,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            io = std::make_unique<AsyncFileIo>(direct_fd, true, kDirectBuffers);
            std::vector<std::pair<void*, std::size_t>> bufs;
            for (Pages& b : direct_records) {
                b = Pages(kDirectChunkRecords * kRecordLength);
                bufs.emplace_back(b.get(), kDirectChunkRecords * kRecordLength);
            }
            // Registered once, so that the kernel does not pin their pages at every write.
            io->register_buffers(bufs);
        }
        const int b = next_direct;
        next_direct = (next_direct + 1) % kDirectBuffers;
        while (in_flight[b].len > 0)
            if (!complete_one()) return -1;
        unsigned char* p = direct_records[b].get();
        store_values(p, v, take);
        const std::size_t head = len & ~static_cast<std::size_t>(kBlock - 1);
        if (head > 0) {
            in_flight[b] = InFlight{at, head};
            io->submit_write(p, head, static_cast<std::uint64_t>(at), static_cast<std::uint64_t>(b));
            io->flush();
        }
        return head == len || write_at(fd, p + head, len - head, at + static_cast<off_t>(head)) ? 0 : -1;
    }

    // After a write of [at, end): once the file is large, starts its writeback and lets go of the
    // pages far enough behind, which are then on the disk (errors there show at close, as ever).
    void write_behind(off_t at, off_t end) {
        if (static_cast<std::uint64_t>(end) <= behind_from) return;
        ::sync_file_range(fd, at, end - at, SYNC_FILE_RANGE_WRITE);
        if (end - dropped < 2 * kWriteBehind) return;
        const off_t upto = end - kWriteBehind;
        ::sync_file_range(fd, dropped, upto - dropped,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        ::posix_fadvise(fd, dropped, upto - dropped, POSIX_FADV_DONTNEED);
        dropped = upto;
    }

    // Writes the count values v as the records from record r on; false when a write fails.
    bool write_values(const float* v, std::size_t n, std::int64_t r) {
        // c: the first value of the chunk; t: the record within the chunk.
        const bool large =
            static_cast<std::uint64_t>(r - 1 + static_cast<std::int64_t>(n)) * kRecordLength > behind_from;
        const std::size_t chunk = large && direct_fd >= 0 ? kDirectChunkRecords : kChunkRecords;
        for (std::size_t c = 0; c < n;) {
            std::size_t take = n - c < chunk ? n - c : chunk;
            const off_t at = static_cast<off_t>(r - 1 + static_cast<std::int64_t>(c)) * kRecordLength;
            const int direct = write_direct(v + c, take, at);
            if (direct < 0) return false;
            if (direct == 1) {
                if (take > kChunkRecords) take = kChunkRecords;
                store_values(records.get(), v + c, take);
                const std::size_t len = take * kRecordLength;
                if (!write_at(fd, records.get(), len, at)) return false;
                write_behind(at, at + static_cast<off_t>(len));
            }
            c += take;
        }
        return true;
    }

    void run() {
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            cv.wait(lock, [this] { return busy || quit; });
            if (!busy) return;
            const float* v = data;
            const std::size_t n = count;
            const std::int64_t r = first;
            const bool skip = failed;
            lock.unlock();
            const bool ok = skip || write_values(v, n, r);
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
    void start(const float* v, std::size_t n, std::int64_t r) {
        std::lock_guard<std::mutex> lock(m);
        data = v, count = n, first = r, busy = true;
        cv.notify_all();
    }
    ~Writer() {
        wait_idle();
        drain();
        {
            std::lock_guard<std::mutex> lock(m);
            quit = true;
            cv.notify_all();
        }
        thread.join();
        if (direct_fd >= 0) ::close(direct_fd);
    }
};

RowWriter::RowWriter() = default;

RowWriter::~RowWriter() {
    writer_.reset();
    if (fd_ >= 0) ::close(fd_);
}

void RowWriter::open(const std::string& path) {
    if (fd_ >= 0) close();
    // Never through a link: the row file lies beside the application folder, where a link could send
    // the records into someone else's file.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) raise(ErrorKind::FileError);
    int direct = -1;
    try {
        if (!values_) {
            values_.reset(new float[2 * kBufferRecords]);
            bufs_[0] = values_.get();
            bufs_[1] = values_.get() + kBufferRecords;
        }
        direct = ::open(path.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC | O_NOFOLLOW);
        writer_ = std::make_unique<Writer>(fd, direct);
    } catch (const std::exception&) {
        if (direct >= 0) ::close(direct);
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
    bufs_[cur_][count_] = v;
    ++count_;
    ++put_;
}

void RowWriter::put_run(std::int64_t first, const float* v, int count) {
    if (count <= 0) return;
    if (fd_ < 0 || first < 1) raise(ErrorKind::FileError);
    if (count_ > 0 && first != first_ + static_cast<std::int64_t>(count_)) submit();
    // q: the value put next; a full buffer is handed over before the record that does not fit.
    for (int q = 0; q < count;) {
        if (count_ == kBufferRecords) submit();
        if (count_ == 0) first_ = first + q;
        const std::size_t room = kBufferRecords - count_;
        const int take = static_cast<std::size_t>(count - q) < room ? count - q : static_cast<int>(room);
        std::memcpy(bufs_[cur_] + count_, v + q, static_cast<std::size_t>(take) * sizeof(float));
        q += take;
        count_ += static_cast<std::size_t>(take);
        put_ += take;
    }
}

void RowWriter::submit() {
    // The other buffer must be written out before this one is handed over and that one refilled.
    if (!writer_->wait_idle()) raise(ErrorKind::FileError);
    if (count_ > 0) {
        writer_->start(bufs_[cur_], count_, first_);
        cur_ ^= 1;
    }
    count_ = 0;
}

void RowWriter::close() {
    if (fd_ < 0) return;
    bool ok = true;
    try {
        submit();
        // The helper is idle: its direct writes still in flight are waited for here.
        ok = writer_->wait_idle() && writer_->drain();
    } catch (const RunError&) {
        ok = false;
    }
    writer_.reset();
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    if (!ok) raise(ErrorKind::FileError);
}

}  // namespace varnex
