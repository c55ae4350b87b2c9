#pragma once
// Everything a command works on: the state of the current system, the data grid, the seams to the
// windows, and the application folder.

#include <string>

#include "core/grid_model.h"
#include "core/run_end.h"
#include "core/state.h"
#include "core/ui.h"

namespace varnex {

struct App {
    SystemState st;
    GridModel grid;
    Controls* ui = nullptr;
    MessageBoxes* box = nullptr;
    FileDialog* cd = nullptr;
    Clock* clock = nullptr;
    /// Folder of the program's own file, without a trailing separator (except "/").
    std::string app_folder;
    /// Written by the solve commands as they end.
    RunOutcome last_run;
};

}  // namespace varnex
