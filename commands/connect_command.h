#pragma once
// The Connect command: a text system file converted into the binary row file for connected mode.

#include <string>
#include <vector>

#include "commands/app.h"

namespace varnex {

void Connect_Click(App& app);
/// Converts the text system file into the row file, sets N, fills x with the stored solution or
/// zeros; reports its own failures (MsgBadFile, MsgBadNumber) and returns normally.
void connect_to_file(App& app, const std::string& path, std::vector<float>& x);
/// The row file's path: the application folder immediately followed by "data.vnx".
std::string row_file_path(const std::string& app_folder);

}  // namespace varnex
