#pragma once
// What a run of varnex-batch did, and how it is printed: "key: value" lines or one JSON object.

#include <ostream>
#include <string>
#include <vector>

#include "commands/app.h"
#include "core/accuracy.h"

namespace varnex::batch {

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

/// Measures the accuracy report of the window's status bar for the state in `app` (sweeps, ending,
/// true residual, backward error, the condition estimate in memory mode) and keeps it for the result:
/// its "accuracy" line, its verdict and JSON object. Returns the whole report.
AccuracyReport add_accuracy_report(Report& report, const App& app);

/// The result as "key: value" lines.
void print_text(const Report& report, std::ostream& out);
/// The result as one JSON object on one line.
void print_json(const Report& report, std::ostream& out);

}  // namespace varnex::batch
