#pragma once
// What a file dropped on the main window becomes: Open for a text system file, Import for the
// formats that Import reads (Matrix Market, delimited text, and their compressed or archived
// forms), or a message that says why nothing happens.

#include <string>
#include <vector>

namespace varnex {

struct DropDecision {
    enum class Action { Open, Import, Refuse };
    Action action = Action::Refuse;
    std::string path;     ///< the file to open or import
    std::string message;  ///< for Refuse: the text of the message box
};

/// True for a name that Import takes by its extension: .mtx, .csv, .tsv, and any name ending in a
/// compression or archive extension (.gz, .tar.gz, .zip ...), whose contents Import looks into.
bool is_import_name(const std::string& path);

/// Decides for the local paths of a drop (an empty list: the drop carried no local file).
DropDecision decide_drop(const std::vector<std::string>& paths);

}  // namespace varnex
