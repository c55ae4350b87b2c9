#pragma once
// The Open command: a text system file into the grid, with its stored solution as approximation.

#include <string>
#include <vector>

#include "core/app.h"

namespace varnex {

void Open_Click(App& app);
/// Reads the file into the grid and sets N; reports its own failures (MsgNoFile, MsgBadFile).
void open_file(App& app, const std::string& name);
/// x(1..N) = the stored solution of the system file at path, or zeros; reports MsgBadFile itself.
void get_solution(App& app, const std::string& path, std::vector<float>& x);

}  // namespace varnex
