#pragma once
// The Save command: the grid's system as a text system file, the approximation as a solution file.

#include <string>

#include "commands/app.h"

namespace varnex {

/// Save: each file is written beside its target and put in place only when both are complete, so a
/// failed Save leaves the earlier system file and solution file as they were and says why.
void Save_Click(App& app);
/// Writes the grid's system to `name` (after the replace question for an existing file).
void save_file(App& app, const std::string& name);
/// Writes the grid's approximation to `name` (after the replace question for an existing file).
void save_solution(App& app, const std::string& name);

}  // namespace varnex
