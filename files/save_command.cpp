// Provisional: replaced by the Save command.
#include "files/save_command.h"

namespace varnex {
void Save_Click(App&) {}
void save_file(App&, const std::string&) {}
void save_solution(App&, const std::string&) {}
}  // namespace varnex
