#pragma once
// How a solve command ended: the record the window's status bar, the batch program's report and the
// verdict read.

#include <chrono>
#include <string>

namespace varnex {

/// How the last solve command ended.
enum class RunEnd {
    None,               ///< no solve command has run, or it ended before its first sweep
    OneSweep,           ///< "Next Iteration" made its sweep
    AccuracyReached,    ///< Er <= Eps
    NoFurtherProgress,  ///< Er equal to the previous sweep's
    SweepLimit,         ///< IterCount would have passed 32767
    Stopped,            ///< the user stopped the run (Esc, SIGINT)
    Fault,              ///< a run-time error ended it silently; `fault` names it
    Message,            ///< a trap showed a message; `fault` holds its text
};

/// What the last solve command did, for the window's status bar and the batch program's report.
struct RunOutcome {
    bool find_solution = false;  ///< "Find  solution" (else "Next Iteration")
    RunEnd end = RunEnd::None;
    int sweeps = 0;      ///< sweeps completed by this command
    std::string fault;   ///< see RunEnd::Fault and RunEnd::Message
    bool timed = false;  ///< the command showed its duration in txtTime
    unsigned runs = 0;   ///< solve commands that began a run so far; tells a new record from an old one
    int zero_pivot = 0;  ///< column where the run's Gaussian elimination met a zero pivot; 0 if none
    std::chrono::steady_clock::time_point started;  ///< when the command began
};

}  // namespace varnex
