#pragma once
// The cancel check of the long measurements behind the accuracy report (the factorization, the passes
// over the row file). They run on a worker thread whose flag a command may set at any moment; each
// step of their loops asks here. A watcher, when one is installed, sees every such check first: a
// test holds the worker at a chosen step with it while it cancels the report.

#include <atomic>

namespace varnex {

/// The kind of step at which a measurement checks its flag.
enum class CancelStep { Factorization, RowFilePass };

/// Called with the step and the flag at every check; none is installed in the program.
using CancelWatcher = void (*)(CancelStep, const std::atomic<bool>&);
inline std::atomic<CancelWatcher> g_cancel_watcher{nullptr};

/// Whether `cancel` is set, checked at a step of kind `step`.
inline bool cancelled_at(CancelStep step, const std::atomic<bool>& cancel) {
    if (const CancelWatcher watch = g_cancel_watcher.load(std::memory_order_relaxed)) watch(step, cancel);
    return cancel.load(std::memory_order_relaxed);
}

}  // namespace varnex
