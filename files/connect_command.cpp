// Provisional: replaced by the Connect command.
#include "files/connect_command.h"

namespace varnex {
void Connect_Click(App&) {}
void connect_to_file(App&, const std::string&, std::vector<float>&) {}
std::string row_file_path(const std::string& app_folder) { return app_folder + "data.vnx"; }
}  // namespace varnex
