#pragma once
// A word that one thread sleeps on until another announces progress: the waiter notes the word's
// value, checks its condition and, when the condition does not hold, sleeps in the kernel (futex)
// until the word changes; the announcer changes the word after making progress and calls the kernel
// only when some thread sleeps. A waiting thread thus takes no processor time, and a busy machine
// gives the processor to the thread that is waited for.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace varnex {

class WaitWord {
  public:
    /// The value to pass to wait(); read it before checking the condition that is waited for.
    std::uint32_t seen() const { return word_.load(std::memory_order_seq_cst); }

    /// Announces progress, after the changes it stands for: wakes every thread that sleeps on the word.
    void bump() {
        word_.fetch_add(1, std::memory_order_seq_cst);
        if (sleepers_.load(std::memory_order_seq_cst) > 0) wake();
    }

    /// Sleeps while the word still holds seen, at most timeout (none when zero). True when the word
    /// changed (or the sleep ended early, which the caller treats alike: it checks its condition
    /// again); false when the timeout passed.
    bool wait(std::uint32_t seen, std::chrono::microseconds timeout = std::chrono::microseconds::zero());

  private:
    void wake();
    std::atomic<std::uint32_t> word_{0};
    std::atomic<int> sleepers_{0};
};

}  // namespace varnex
