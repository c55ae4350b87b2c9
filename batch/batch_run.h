#pragma once
// One run of varnex-batch: the load handler, Open or Connect, then "Find  solution" or K clicks of
// "Next Iteration", then Save, all through the command code that the main window calls, with the
// seams of batch_seams.h. The result goes to stdout as lines or as one JSON object.

#include <csignal>
#include <ostream>
#include <string>
#include <string_view>

#include "batch/batch_args.h"
#include "batch/batch_report.h"

namespace varnex::batch {

/// Where a run reads and writes, and how it reaches the process.
struct Environment {
    std::string app_folder;       ///< the executable's folder, as the window's application folder
    std::string cwd;              ///< the folder a relative SYSTEM.txt is taken from
    std::ostream* out = nullptr;  ///< the result
    std::ostream* err = nullptr;  ///< messages and the progress line
    bool err_is_terminal = false;
    const volatile std::sig_atomic_t* stop = nullptr;  ///< set by SIGINT: stop after this sweep
    volatile std::sig_atomic_t* saving = nullptr;      ///< set while Save writes files
};

/// True for the files that File, Import reads (Matrix Market .mtx, delimited .csv and .tsv), which
/// `open` imports instead of opening.
bool is_import_format(std::string_view path);

/// Runs the commands the arguments ask for; returns the exit code: 0 solved or stopped, 1 a command
/// showed a message, ended on a fault, or its files were not written.
int run_batch(const Args& args, const Environment& env, Report* report_out = nullptr);

}  // namespace varnex::batch
