#pragma once
// The command line of varnex-batch: which file command to run, how to solve, whether to save.

#include <optional>
#include <string>
#include <vector>

namespace varnex::batch {

enum class Command {
    Open,     ///< Open: the system into the grid (memory mode)
    Connect,  ///< Connect: the system into the row file (connected mode)
};

struct Args {
    Command command = Command::Open;
    std::string system;              ///< SYSTEM.txt as given
    std::optional<std::string> eps;  ///< --eps E: the text put into the accuracy box
    std::optional<int> sweeps;       ///< --sweeps K: K clicks of "Next Iteration" instead
    bool save = false;               ///< --save [NAME]
    std::string save_name;           ///< NAME, empty for the system file's own name
    bool json = false;               ///< --json
    bool replace = false;            ///< --replace: Yes to the replace question
    std::optional<std::string> accurate;  ///< --accurate FILE: the accurate solution written there
};

/// What the command line asks for: a run, the usage text, or a usage error with its reason.
struct Parsed {
    enum Kind { Run, Help, Error } kind = Error;
    Args args;
    std::string error;  ///< for Error: what was wrong, one line
};

/// Parses argv[1..]: COMMAND SYSTEM.txt, then the options in any order.
Parsed parse_args(const std::vector<std::string>& argv);

/// The usage text printed by --help and after a usage error.
std::string usage_text();

}  // namespace varnex::batch
