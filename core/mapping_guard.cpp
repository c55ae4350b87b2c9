// The SIGBUS handler of the guarded mappings. The handler only reads and writes lock-free atomics and
// makes one mmap call, both safe inside a signal handler; a fault outside every guarded mapping goes
// to whatever handled SIGBUS before (by default: the process ends, as it would have).

#include "core/mapping_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace varnex {

namespace {

struct Slot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> lost{false};
    std::atomic<bool> used{false};
};

constexpr int kSlots = 16;
Slot g_slots[kSlots];
struct sigaction g_previous {};

// Replaces the pages from the faulting one to the end of its guarded mapping by zero pages.
bool absorb(std::uintptr_t addr) {
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    for (Slot& s : g_slots) {
        const std::uintptr_t b = s.begin.load(), e = s.end.load();
        if (b == 0 || addr < b || addr >= e) continue;
        const std::uintptr_t from = addr & ~(page - 1);
        void* p =
            ::mmap(reinterpret_cast<void*>(from), e - from, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (p == MAP_FAILED) return false;
        s.lost.store(true);
        return true;
    }
    return false;
}

extern "C" void on_sigbus(int sig, siginfo_t* info, void* ctx) {
    if (absorb(reinterpret_cast<std::uintptr_t>(info->si_addr))) return;
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction) return g_previous.sa_sigaction(sig, info, ctx);
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        return g_previous.sa_handler(sig);
    }
    // Not ours and nobody else's: the default action, when the faulting read is retried.
    ::signal(SIGBUS, SIG_DFL);
}

void install_handler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_sigaction = on_sigbus;
        sa.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGBUS, &sa, &g_previous);
    });
}

}  // namespace

bool MappingGuard::guard(const void* p, std::size_t bytes) {
    release();
    if (!p || bytes == 0) return false;
    install_handler();
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (!g_slots[i].used.compare_exchange_strong(expected, true)) continue;
        g_slots[i].lost.store(false);
        g_slots[i].end.store(reinterpret_cast<std::uintptr_t>(p) + bytes);
        g_slots[i].begin.store(reinterpret_cast<std::uintptr_t>(p));
        slot_ = i;
        return true;
    }
    return false;
}

void MappingGuard::release() {
    if (slot_ < 0) return;
    g_slots[slot_].begin.store(0);
    g_slots[slot_].end.store(0);
    g_slots[slot_].used.store(false);
    slot_ = -1;
}

bool MappingGuard::lost() const { return slot_ >= 0 && g_slots[slot_].lost.load(); }

}  // namespace varnex
