#pragma once
// The accuracy report of the last solve command: what the run did (from App::last_run and the
// counter) and how good its X is (core/accuracy.h), for the window's status bar and the batch
// program.

#include <atomic>

#include "commands/app.h"
#include "core/accuracy.h"

namespace varnex {

/// Sweeps of the current run: IterCount - 1, and the sweep that met the counter limit (whose raise of
/// IterCount failed) counted too.
int run_sweeps(const App& app);

/// The report's first half, known as the command ends: sweeps and ending. `measured` is false;
/// `pending` is true when measure_report has something to measure.
AccuracyReport start_report(const App& app);

/// Fills in the norms, the backward error and, in memory mode, the condition estimate. Reads the
/// state only, never writes it; the caller keeps the state unchanged until this returns. Returns false
/// when `cancel` was set before the work ended (the report is then incomplete). A file that cannot be
/// read or memory that cannot be had leaves a note instead of numbers.
bool measure_report(const App& app, AccuracyReport& r, const std::atomic<bool>& cancel);

/// Both halves on the calling thread.
AccuracyReport accuracy_report(const App& app);

}  // namespace varnex
