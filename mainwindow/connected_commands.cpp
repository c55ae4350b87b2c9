// Provisional: replaced by the connected branches of the solve commands.
#include "mainwindow/connected_commands.h"

namespace varnex {
void connected_find_solution(App&) {}
void connected_next_iteration(App&) {}
}  // namespace varnex
