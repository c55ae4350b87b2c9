// Page-aligned buffers, the queue of asynchronous reads and writes (io_uring, or one at a time), and
// the ordinary reads that take over where a direct read falls short.

#include "core/async_file_io.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#ifdef VARNEX_HAVE_URING
#include <liburing.h>
#endif

#include "core/async_file_io_testing.h"
#include "core/errors.h"

namespace varnex {

namespace {

std::atomic<bool> g_async_reads{true};
std::atomic<PositionalRead> g_read{&::pread};

}  // namespace

void set_async_reads(bool on) { g_async_reads.store(on); }
void set_positional_read(PositionalRead read) { g_read.store(read ? read : &::pread); }

namespace {
// Large buffers start on a huge-page boundary and ask for huge pages: a direct read into them is then
// a few physically contiguous segments instead of one per 4 KB page, for the block layer and for the
// virtual disk's host alike, and their first touch takes one fault per 2 MB.
constexpr std::size_t kHugePage = 2u << 20;
}  // namespace

Pages::Pages(std::size_t bytes) : n_(align_up_to_block(bytes)) {
    const bool huge = n_ >= kHugePage;
    const std::size_t span = huge ? n_ + kHugePage : n_;
    void* p = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) raise(ErrorKind::OutOfMemory);
    if (huge) {
        // The slack before the boundary and after the buffer goes back at once.
        auto* start = static_cast<unsigned char*>(p);
        const std::size_t lead = (kHugePage - reinterpret_cast<std::uintptr_t>(start) % kHugePage) % kHugePage;
        if (lead > 0) ::munmap(start, lead);
        ::munmap(start + lead + n_, kHugePage - lead);
        p = start + lead;
        ::madvise(p, n_, MADV_HUGEPAGE);
    }
    p_ = p;
}

Pages::~Pages() {
    if (p_) ::munmap(p_, n_);
}

struct AsyncFileIo::Ring {
#ifdef VARNEX_HAVE_URING
    io_uring ring{};
#endif
};

AsyncFileIo::AsyncFileIo(int fd, bool /*direct*/, unsigned depth) : fd_(fd) {
#ifdef VARNEX_HAVE_URING
    auto r = std::make_unique<Ring>();
    if (g_async_reads.load() && io_uring_queue_init(depth, &r->ring, 0) == 0) ring_ = std::move(r);
#else
    (void)depth;
#endif
}

AsyncFileIo::~AsyncFileIo() {
#ifdef VARNEX_HAVE_URING
    if (ring_) {
        // Buffers must outlive the reads that fill them: every read still in flight is waited for, also
        // when a signal interrupts the wait (the kernel may still be writing into them).
        flush();
        while (in_flight_ > 0) {
            io_uring_cqe* cqe = nullptr;
            int r;
            do {
                r = io_uring_wait_cqe(&ring_->ring, &cqe);
            } while (r == -EINTR);
            if (r != 0) break;
            io_uring_cqe_seen(&ring_->ring, cqe);
            --in_flight_;
        }
        io_uring_queue_exit(&ring_->ring);
    }
#endif
}

void AsyncFileIo::register_buffers(const std::vector<std::pair<void*, std::size_t>>& bufs) {
#ifdef VARNEX_HAVE_URING
    if (!ring_ || !registered_.empty() || bufs.empty()) return;
    std::vector<iovec> iov;
    for (const auto& [p, n] : bufs) iov.push_back(iovec{p, n});
    if (io_uring_register_buffers(&ring_->ring, iov.data(), static_cast<unsigned>(iov.size())) == 0) registered_ = bufs;
#else
    (void)bufs;
#endif
}

void AsyncFileIo::submit(void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag) {
    queue(buf, len, off, tag, false);
}

void AsyncFileIo::submit_write(const void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag) {
    // A write only reads its buffer; the shared queue takes the pointer as the kernel does.
    queue(const_cast<void*>(buf), len, off, tag, true);
}

void AsyncFileIo::queue(void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag, bool write) {
    ++in_flight_;
#ifdef VARNEX_HAVE_URING
    if (ring_) {
        io_uring_sqe* sqe = io_uring_get_sqe(&ring_->ring);
        if (!sqe) {
            flush();
            sqe = io_uring_get_sqe(&ring_->ring);
        }
        // A registered buffer spares the kernel mapping its pages for every read.
        int index = -1;
        for (std::size_t k = 0; k < registered_.size(); ++k) {
            auto* start = static_cast<unsigned char*>(registered_[k].first);
            auto* p = static_cast<unsigned char*>(buf);
            if (p >= start && p + len <= start + registered_[k].second) index = static_cast<int>(k);
        }
        if (index >= 0 && write) {
            io_uring_prep_write_fixed(sqe, fd_, buf, static_cast<unsigned>(len), off, index);
        } else if (index >= 0) {
            io_uring_prep_read_fixed(sqe, fd_, buf, static_cast<unsigned>(len), off, index);
        } else if (write) {
            io_uring_prep_write(sqe, fd_, buf, static_cast<unsigned>(len), off);
        } else {
            io_uring_prep_read(sqe, fd_, buf, static_cast<unsigned>(len), off);
        }
        io_uring_sqe_set_data64(sqe, tag);
        ++queued_;
        return;
    }
#endif
    ssize_t n;
    do {
        n = write ? ::pwrite(fd_, buf, len, static_cast<off_t>(off))
                  : g_read.load()(fd_, buf, len, static_cast<off_t>(off));
    } while (n < 0 && errno == EINTR);
    done_.emplace_back(tag, n < 0 ? -static_cast<long>(errno) : static_cast<long>(n));
}

void AsyncFileIo::flush() {
#ifdef VARNEX_HAVE_URING
    if (ring_ && queued_ > 0) {
        int r;
        do {
            r = io_uring_submit(&ring_->ring);
        } while (r == -EINTR);
        queued_ = 0;
    }
#endif
}

bool AsyncFileIo::reap(bool wait, std::uint64_t& tag, long& result) {
    if (in_flight_ == 0) return false;
#ifdef VARNEX_HAVE_URING
    if (ring_) {
        flush();
        io_uring_cqe* cqe = nullptr;
        int r;
        do {
            r = wait ? io_uring_wait_cqe(&ring_->ring, &cqe) : io_uring_peek_cqe(&ring_->ring, &cqe);
        } while (r == -EINTR);
        if (r != 0 || !cqe) return false;
        tag = io_uring_cqe_get_data64(cqe);
        result = cqe->res;
        io_uring_cqe_seen(&ring_->ring, cqe);
        --in_flight_;
        return true;
    }
#endif
    (void)wait;
    tag = done_.back().first;
    result = done_.back().second;
    done_.pop_back();
    --in_flight_;
    return true;
}

bool read_at_least(int fd, unsigned char* buf, std::uint64_t off, std::size_t len, std::size_t need) {
    std::size_t got = 0;
    while (got < need) {
        ssize_t n = g_read.load()(fd, buf + got, len - got, static_cast<off_t>(off + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace varnex
