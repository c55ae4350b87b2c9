#pragma once
// The Save command: the grid's system as a text system file, the approximation as a solution file.

#include <string>

#include "core/app.h"

namespace varnex {

void Save_Click(App& app);
void save_file(App& app, const std::string& name);
void save_solution(App& app, const std::string& name);

}  // namespace varnex
