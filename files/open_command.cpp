// Provisional: replaced by the Open command.
#include "files/open_command.h"
#include "files/text_files.h"

namespace varnex {
void Open_Click(App&) {}
void open_file(App&, const std::string&) {}
void get_solution(App&, const std::string&, std::vector<float>&) {}
void get_row(std::string&, int16_t& m, std::vector<std::string>&) { m = 0; }
std::string solution_name(std::string_view) { return {}; }
}  // namespace varnex
