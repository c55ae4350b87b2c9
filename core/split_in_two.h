#pragma once
// Work shared out between the calling thread and one more. The loops that use it fill parts of their
// result that do not depend on each other (one equation's residual, one column's norm, one row of the
// grid), so the values they give do not depend on how the work is split or on which thread runs it.

#include <system_error>
#include <thread>

namespace varnex {

/// True when this machine has a second processor for a second thread.
inline bool two_processors() { return std::thread::hardware_concurrency() >= 2; }

/// Runs work(lo, hi) over the half-open range [begin, end). When worth_a_thread is true and the
/// machine has two processors, the upper half [mid, end) runs on a second thread while the calling
/// thread runs the lower half [begin, mid), with mid = begin + (end - begin) / 2; when no thread can
/// be started, the calling thread runs both halves, the upper one first. Otherwise the calling thread
/// runs work(begin, end) at once. work must not throw: the second thread is joined before the call
/// returns.
template <class Work>
void split_in_two(int begin, int end, bool worth_a_thread, Work&& work) {
    if (!worth_a_thread || !two_processors()) {
        work(begin, end);
        return;
    }
    const int mid = begin + (end - begin) / 2;
    std::thread helper;
    try {
        helper = std::thread([&work, mid, end] { work(mid, end); });
    } catch (const std::system_error&) {
        work(mid, end);  // no thread to be had: both halves here
    }
    work(begin, mid);
    if (helper.joinable()) helper.join();
}

}  // namespace varnex
