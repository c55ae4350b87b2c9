#pragma once
// Reads and writes of large runs of a file for the row file's streams and its writer: page-aligned
// buffers taken straight from the kernel, and a queue of reads (or writes) that run asynchronously
// through io_uring while the caller computes, or one after the other where the kernel offers no such
// interface.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace varnex {

/// The block that direct reads are aligned to: their offsets, lengths and buffers are multiples of it.
inline constexpr std::uint64_t kDirectBlock = 4096;
inline std::uint64_t align_down_to_block(std::uint64_t v) { return v & ~(kDirectBlock - 1); }
inline std::uint64_t align_up_to_block(std::uint64_t v) { return (v + kDirectBlock - 1) & ~(kDirectBlock - 1); }

/// Memory taken straight from the kernel: page-aligned, as direct reads need, zero-filled, and given
/// back whole when freed, so that a pass's buffers do not stay in the process after it. From 2 MB on it
/// starts on a 2 MB boundary in huge pages where the kernel grants them.
class Pages {
  public:
    Pages() = default;
    explicit Pages(std::size_t bytes);
    ~Pages();
    Pages(Pages&& o) noexcept : p_(o.p_), n_(o.n_) { o.p_ = nullptr, o.n_ = 0; }
    Pages& operator=(Pages&& o) noexcept {
        std::swap(p_, o.p_);
        std::swap(n_, o.n_);
        return *this;
    }
    unsigned char* get() const { return static_cast<unsigned char*>(p_); }

  private:
    void* p_ = nullptr;
    std::size_t n_ = 0;
};

/// Asynchronous reads (and writes) of one file, tagged by the caller; without io_uring each one is done
/// at submission and its completion is handed out afterwards.
class AsyncFileIo {
  public:
    /// fd: the descriptor to read (opened with O_DIRECT when direct is true); depth: reads in flight.
    AsyncFileIo(int fd, bool direct, unsigned depth);
    ~AsyncFileIo();
    AsyncFileIo(const AsyncFileIo&) = delete;
    AsyncFileIo& operator=(const AsyncFileIo&) = delete;

    /// Registers the buffers that the reads (or writes) will use, given as (start, bytes), so that
    /// the kernel maps them once instead of at every read. Where it refuses (a memory-lock limit),
    /// the reads go on with unregistered buffers.
    void register_buffers(const std::vector<std::pair<void*, std::size_t>>& bufs);
    unsigned in_flight() const { return in_flight_; }
    /// Queues a read of len bytes at off into buf (aligned to 4096 for direct reads); at most the
    /// depth given at construction may be in flight. Sent to the kernel by the next flush or reap.
    void submit(void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag);
    /// The same for a write of len bytes from buf at off.
    void submit_write(const void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag);
    /// Sends the queued reads.
    void flush();
    /// One finished read: its tag and the bytes read (negative: an error number). False when none is
    /// finished and wait is false, or none is in flight.
    bool reap(bool wait, std::uint64_t& tag, long& result);

  private:
    // One read or write: queued on the ring, or done at once without io_uring.
    void queue(void* buf, std::size_t len, std::uint64_t off, std::uint64_t tag, bool write);
    struct Ring;
    std::unique_ptr<Ring> ring_;
    int fd_;
    unsigned in_flight_ = 0;
    unsigned queued_ = 0;
    std::vector<std::pair<std::uint64_t, long>> done_;  // finished without io_uring
    std::vector<std::pair<void*, std::size_t>> registered_;
};

/// Reads [off, off + len) of the file behind the ordinary descriptor fd into buf, one read after the
/// other, until at least `need` bytes are in (the bytes past the end of the file are needed by no
/// caller): a read that a direct descriptor returned short or refused is done again this way. False
/// on a read error, or when the file ends before `need` bytes.
bool read_at_least(int fd, unsigned char* buf, std::uint64_t off, std::size_t len, std::size_t need);

}  // namespace varnex
