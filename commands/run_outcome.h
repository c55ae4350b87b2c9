#pragma once
// The bookkeeping that every solve command shares after a sweep: the accuracy box, the repaint, the
// sweep observers, the counter and the stop rule of "Find  solution", each ending recorded in
// App::last_run for the status bar and the batch program.

#include <string>

#include "commands/app.h"

namespace varnex {

/// Starts the record of a solve command (and counts it in RunOutcome::runs).
void begin_run(App& app, bool find_solution);

/// After one completed sweep of a solve command: shows Er, repaints, tells Controls::sweep_done,
/// counts the sweep and raises IterCount by one (a RunError when it would pass 32767, recorded as the
/// sweep counter limit).
void sweep_completed(App& app);

/// The stop rule of "Find  solution" after sweep_completed: true when the run ends here, with the
/// reason recorded. `prev_er` holds the previous sweep's Er (0 before the first).
bool run_ends(App& app, float& prev_er);

/// Records a failure that ended the command silently, unless an ending is already recorded.
void record_fault(App& app, const std::string& name);

/// The words a person reads for an ending ("accuracy reached", …; a fault by its name).
std::string describe(const RunOutcome& outcome);

}  // namespace varnex
