// The kernel side of WaitWord: a private futex on the word.

#include "core/wait_word.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

namespace varnex {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t), "a futex is a plain 32-bit word");

bool WaitWord::wait(std::uint32_t seen, std::chrono::microseconds timeout) {
    timespec ts{};
    const bool timed = timeout.count() > 0;
    if (timed) {
        ts.tv_sec = static_cast<time_t>(timeout.count() / 1000000);
        ts.tv_nsec = static_cast<long>(timeout.count() % 1000000) * 1000;
    }
    sleepers_.fetch_add(1, std::memory_order_seq_cst);
    // The kernel compares the word with seen before it sleeps: a bump between the caller's check and
    // this call makes it return at once.
    const long r = ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word_), FUTEX_WAIT_PRIVATE, seen,
                             timed ? &ts : nullptr, nullptr, 0);
    const int err = r == 0 ? 0 : errno;
    sleepers_.fetch_sub(1, std::memory_order_seq_cst);
    return err != ETIMEDOUT;
}

void WaitWord::wake() {
    ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word_), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace varnex
