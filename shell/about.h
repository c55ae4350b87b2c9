#pragma once
// The two menu commands that need no window of their own: About and Exit.

#include "commands/app.h"

namespace varnex {

/// The About box: program name, version and what the program does, through App::box.
void About_Click(App& app);
/// Ends the program at once: closes the help window and leaves the event loop; nothing is asked and
/// nothing is saved.
void Exit_Click();

}  // namespace varnex
