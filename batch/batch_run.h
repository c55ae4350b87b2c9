#pragma once
// One run of varnex-batch: the load handler, Open or Connect, then "Find  solution" or K clicks of
// "Next Iteration", then Save, all through the command code that the main window calls, with the
// seams of batch_seams.h. The result goes to stdout as lines or as one JSON object.

#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#include "batch/batch_args.h"
#include "commands/app.h"
#include "core/accuracy.h"

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

/// What a run did, as it is printed.
struct Report {
    std::string command;  ///< "open" or "connect"
    std::string system;   ///< the system file's full path
    int n = 0;
    std::string er_text;  ///< the accuracy box as the window shows it
    float er = 0.0f;
    int sweeps = 0;
    int iter_count = 0;
    std::string ended;          ///< how the run ended, in words
    double load_seconds = 0.0;  ///< Open or Connect
    double solve_seconds = 0.0;
    double save_seconds = 0.0;
    std::vector<std::string> saved;     ///< the files Save wrote
    std::vector<std::string> messages;  ///< every message shown, in order
    std::vector<std::string> notes;     ///< the commands' status-bar notes (Import's right-hand side)
    std::string accuracy;               ///< the window's accuracy report line, once a run has begun
    std::string accuracy_json;          ///< the same report as JSON members
    std::string verdict;                ///< the verdict on x in words, once the report has one
    std::string accurate;               ///< where --accurate wrote the accurate solution
    int exit_code = 0;
};

/// True for the files that File, Import reads (Matrix Market .mtx, delimited .csv and .tsv), which
/// `open` imports instead of opening.
bool is_import_format(std::string_view path);

/// Measures the accuracy report of the window's status bar for the state in `app` (sweeps, ending,
/// true residual, backward error, the condition estimate in memory mode) and keeps it for the result:
/// its "accuracy" line, its verdict and JSON object. Returns the whole report.
AccuracyReport add_accuracy_report(Report& report, const App& app);

/// Runs the commands the arguments ask for; returns the exit code: 0 solved or stopped, 1 a command
/// showed a message, ended on a fault, or its files were not written.
int run_batch(const Args& args, const Environment& env, Report* report_out = nullptr);

/// The result as "key: value" lines.
void print_text(const Report& report, std::ostream& out);
/// The result as one JSON object on one line.
void print_json(const Report& report, std::ostream& out);

}  // namespace varnex::batch
