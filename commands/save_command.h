#pragma once
// The Save command: the grid's system as a text system file, the approximation as a solution file.

#include <optional>
#include <string>

#include "commands/app.h"
#include "files/replace_file.h"

namespace varnex {

/// Save: each file is written beside its target and put in place only when both are complete, so a
/// failed Save leaves the earlier system file and solution file as they were and says why.
void Save_Click(App& app);
/// Writes the grid's system for `name` (after the replace question for an existing file) into a
/// temporary file beside it, complete and flushed; commit() puts it in place. Nothing when the user
/// keeps the old file.
[[nodiscard]] std::optional<ReplacingFile> save_file(App& app, const std::string& name);
/// The same for the grid's approximation as a solution file.
[[nodiscard]] std::optional<ReplacingFile> save_solution(App& app, const std::string& name);

}  // namespace varnex
