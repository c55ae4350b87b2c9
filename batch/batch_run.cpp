// The batch run calls the command handlers in the order a person at the main window would: the load
// handler as the window opens, Open or Connect from the File menu, "Find  solution" or "Next
// Iteration" clicks, then Save. Only the seams differ from the window's.
#include "batch/batch_run.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include <sys/stat.h>

#include "batch/batch_seams.h"
#include "batch/json_text.h"
#include "commands/accuracy_report.h"
#include "commands/app.h"
#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/export_command.h"
#include "commands/import_command.h"
#include "commands/open_command.h"
#include "commands/run_outcome.h"
#include "commands/save_command.h"
#include "core/convert.h"
#include "files/text_files.h"

namespace varnex::batch {

namespace {

namespace fs = std::filesystem;

// Which file a path names now: Save puts each file in place by renaming a new one over it, so a
// path that was written names another file afterwards. {0, 0} when it names no regular file.
std::pair<dev_t, ino_t> file_identity(const std::string& path) {
    struct stat sb {};
    if (::stat(path.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) return {0, 0};
    return {sb.st_dev, sb.st_ino};
}

// The path the save dialog confirms: NAME in the application folder's data folder, or NAME itself
// when it is an absolute path.
std::string save_target(const Args& args, const std::string& app_folder, const std::string& system) {
    const std::string name = args.save_name.empty() ? fs::path(system).filename().string() : args.save_name;
    if (fs::path(name).is_absolute()) return name;
    const std::string folder = app_folder == "/" ? std::string() : app_folder;
    return folder + "/data/" + name;
}

std::string stopped_words() {
    RunOutcome stopped;
    stopped.end = RunEnd::Stopped;
    return describe(stopped);
}

bool declined(const PrintedBoxes& boxes, const std::string& question) {
    for (const std::string& q : boxes.declined())
        if (q == question) return true;
    return false;
}

// Save, as the File menu's Save runs it, then which of the files it was to write it has put in
// place. Returns false when a file was kept or not written.
bool save(const Args& args, const Environment& env, App& app, CommandLineDialog& cd, PrintedBoxes& boxes, Report& rep) {
    const bool connected = app.st.DataMode == kModeConnected;
    const std::string target = save_target(args, app.app_folder, rep.system);
    // In connected mode Save shows no dialog and names the solution after the file last confirmed in
    // a dialog; NAME stands in for that confirmation.
    if (connected) {
        cd.FileName = target;
    } else {
        cd.save_path = target;
    }
    const std::string solution = app.app_folder + "/data/solutions/" + solution_name(target);
    const auto system_before = file_identity(target);
    const auto solution_before = file_identity(solution);
    if (env.saving) *env.saving = 1;
    const double t0 = steady_seconds();
    Save_Click(app);
    rep.save_seconds = steady_seconds() - t0;
    if (env.saving) *env.saving = 0;

    // A file counts as written when its path now names a new regular file. Save itself says why a
    // file could not be written; this names which.
    const std::string& ask = app.st.msg.MsgReplaceFile;
    const auto written = [](const std::string& path, std::pair<dev_t, ino_t> before) {
        const auto now = file_identity(path);
        return now != std::pair<dev_t, ino_t>{0, 0} && now != before;
    };
    bool ok = true;
    auto check = [&](const std::string& path, bool written) {
        if (declined(boxes, ask + path)) {
            ok = false;
        } else if (written) {
            rep.saved.push_back(path);
        } else {
            *env.err << "varnex-batch: Save could not write " << path << '\n';
            ok = false;
        }
    };
    if (!connected) check(target, written(target, system_before));
    check(solution, written(solution, solution_before));
    return ok;
}

// "Find  solution" once, or K clicks of "Next Iteration"; a stop request ends either after the sweep
// in progress.
void solve(const Args& args, const Environment& env, App& app, BatchControls& ui, Report& rep) {
    const auto stopped = [&] { return env.stop && *env.stop != 0; };
    if (stopped()) {
        rep.ended = stopped_words();
        return;
    }
    if (!args.sweeps) {
        cmdSolution_Click(app);
        rep.sweeps = app.last_run.sweeps;
        rep.ended = describe(app.last_run);
        return;
    }
    rep.ended = "sweeps done";
    for (int k = 0; k < *args.sweeps; ++k) {
        if (stopped()) {
            rep.ended = stopped_words();
            break;
        }
        cmdIter_Click(app);
        if (app.last_run.end != RunEnd::OneSweep) {
            rep.ended = describe(app.last_run);
            break;
        }
    }
    rep.sweeps = ui.sweeps();
}

// --accurate FILE: the reference solution as Export accurate solution writes it, FILE taken from
// the working folder. False (with the reason on stderr) when there is none or it was not written.
bool write_accurate(const std::string& file, const Environment& env, App& app, const AccuracyReport& r,
                    Report& rep) {
    if (!r.reference.claimed) {
        const std::string why = r.reference_tried ? r.reference.why_not : r.note;
        *env.err << "varnex-batch: no accurate solution" << (why.empty() ? "" : ": " + why) << '\n';
        return false;
    }
    const std::string path = (fs::path(env.cwd) / file).lexically_normal().string();
    try {
        if (!write_accurate_solution(app, r.reference, path)) return false;  // kept: the box said so
    } catch (const std::exception&) {
        *env.err << "varnex-batch: the accurate solution could not be written to " << path << '\n';
        return false;
    }
    rep.accurate = path;
    return true;
}

}  // namespace

bool is_import_format(std::string_view path) {
    // The window's File, Import reads these (compressed ones too); a .txt stays on Open's path
    // (blank-separated text), unless its bytes are compressed.
    return is_import_file(std::string(path));
}

AccuracyReport add_accuracy_report(Report& report, const App& app) {
    AccuracyReport r = accuracy_report(app);
    report.accuracy = report_line(r);
    if (r.judged) report.verdict = verdict_line(r.judgement);
    const std::string fields = report_json_fields(r);
    report.accuracy_json.reserve(fields.size() + 2);
    report.accuracy_json.push_back('{');
    report.accuracy_json.append(fields);
    report.accuracy_json.push_back('}');
    return r;
}

int run_batch(const Args& args, const Environment& env, Report* report_out) {
    Report rep;
    rep.command = args.command == Command::Open ? "open" : "connect";
    // The full, clean path that a file dialog would return for the file named on the command line.
    rep.system = (fs::path(env.cwd) / args.system).lexically_normal().string();
    rep.ended = describe(RunOutcome{});

    PrintedBoxes boxes(*env.err, args.replace);
    Progress progress(*env.err, env.err_is_terminal);
    BatchControls ui(progress, env.stop, [&rep](std::string_view text) { rep.notes.emplace_back(text); });
    CommandLineDialog cd;
    RealClock clock;
    App app;
    app.app_folder = env.app_folder;
    app.ui = &ui;
    app.box = &boxes;
    app.cd = &cd;
    app.clock = &clock;
    TickingObserver observer(ui);
    app.grid.set_observer(&observer);

    // The boxes' designed texts: one half in the desired accuracy, 1 in the index boxes.
    ui.set_text(Ctl::txtEps, std::string("0") + decimal_separator() + "5");
    for (int k = 0; k < 3; ++k) ui.set_text(txt_index(k), "1");

    auto finish = [&](int code) {
        rep.n = app.st.N;
        // Er as the accuracy box shows it, from the last completed sweep: a sweep that ended on a fault
        // leaves a partial Er in the state, which the box never showed.
        rep.er_text = ui.text(Ctl::txtEr);
        rep.er = ui.sweeps() > 0 ? ui.last_er() : std::numeric_limits<float>::quiet_NaN();
        rep.iter_count = app.st.IterCount;
        rep.messages = boxes.messages();
        rep.exit_code = code;
        if (args.json) {
            print_json(rep, *env.out);
        } else {
            print_text(rep, *env.out);
        }
        if (report_out) *report_out = rep;
        return code;
    };

    // The load handler: message table, data folder and samples on a first run.
    Form_Load(app);
    if (!boxes.messages().empty()) return finish(1);

    cd.open_path = rep.system;
    const double t0 = steady_seconds();
    if (args.command == Command::Open && is_import_format(rep.system)) {
        import_system(app, rep.system);
    } else if (args.command == Command::Open) {
        Open_Click(app);
    } else {
        Connect_Click(app);
    }
    rep.load_seconds = steady_seconds() - t0;
    // A system that did not load whole is not solved or saved: the grid or the row file holds only
    // part of it.
    if (!boxes.messages().empty()) return finish(1);
    if (!ui.enabled(Ctl::cmdSolution) || !ui.enabled(Ctl::cmdIter)) {
        *env.err << "varnex-batch: the system could not be set up\n";
        return finish(1);
    }

    if (args.eps) ui.set_text(Ctl::txtEps, *args.eps);
    const double t1 = steady_seconds();
    progress.start();
    solve(args, env, app, ui, rep);
    progress.finish();
    rep.solve_seconds = steady_seconds() - t1;
    // The window's status-bar report, measured after the command as the window does.
    AccuracyReport accuracy;
    if (app.last_run.end != RunEnd::None) accuracy = add_accuracy_report(rep, app);
    if (!boxes.messages().empty()) return finish(1);
    if (args.accurate && !write_accurate(*args.accurate, env, app, accuracy, rep)) return finish(1);
    if (app.last_run.end == RunEnd::Fault) {
        *env.err << "varnex-batch: the run ended on a fault: " << app.last_run.fault << '\n';
        return finish(1);
    }

    if (args.save && !save(args, env, app, cd, boxes, rep)) return finish(1);
    return finish(0);
}

namespace {

std::string seconds_text(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", s);
    return buf;
}

}  // namespace

void print_text(const Report& r, std::ostream& out) {
    if (!r.verdict.empty()) out << "verdict: " << r.verdict << '\n';
    out << "N: " << r.n << '\n'
        << "Er: " << r.er_text << '\n'
        << "sweeps: " << r.sweeps << '\n'
        << "IterCount: " << r.iter_count << '\n'
        << "ended: " << r.ended << '\n'
        << "duration: " << seconds_text(r.solve_seconds) << " s\n"
        << r.command << ": " << seconds_text(r.load_seconds) << " s\n";
    if (r.save_seconds > 0.0) out << "save: " << seconds_text(r.save_seconds) << " s\n";
    for (const std::string& path : r.saved) out << "saved: " << path << '\n';
    if (!r.accurate.empty()) out << "accurate: " << r.accurate << '\n';
    for (const std::string& note : r.notes) out << "note: " << note << '\n';
    if (!r.accuracy.empty()) out << "accuracy: " << r.accuracy << '\n';
    out << std::flush;
}

void print_json(const Report& r, std::ostream& out) {
    char er[32] = "null";
    if (std::isfinite(r.er)) std::snprintf(er, sizeof er, "%.9g", static_cast<double>(r.er));
    out << "{\"command\":" << json_string(r.command) << ",\"system\":" << json_string(r.system)
        << json_raw_field("system", r.system) << ",\"N\":" << r.n
        << ",\"Er\":" << er << ",\"Er_text\":" << json_string(r.er_text) << ",\"sweeps\":" << r.sweeps
        << ",\"IterCount\":" << r.iter_count << ",\"ended\":" << json_string(r.ended)
        << ",\"duration\":" << seconds_text(r.solve_seconds) << ",\"load_seconds\":" << seconds_text(r.load_seconds)
        << ",\"save_seconds\":" << seconds_text(r.save_seconds) << ",\"saved\":[";
    for (std::size_t i = 0; i < r.saved.size(); ++i) out << (i ? "," : "") << json_string(r.saved[i]);
    out << "]" << json_raw_field("saved", r.saved) << ",\"messages\":[";
    for (std::size_t i = 0; i < r.messages.size(); ++i) out << (i ? "," : "") << json_string(r.messages[i]);
    out << "]" << json_raw_field("messages", r.messages) << ",\"notes\":[";
    for (std::size_t i = 0; i < r.notes.size(); ++i) out << (i ? "," : "") << json_string(r.notes[i]);
    out << "]" << json_raw_field("notes", r.notes)
        << ",\"accuracy\":" << (r.accuracy_json.empty() ? std::string("null") : r.accuracy_json);
    if (!r.accurate.empty()) out << ",\"accurate\":" << json_string(r.accurate) << json_raw_field("accurate", r.accurate);
    out << ",\"exit_code\":" << r.exit_code << "}\n"
        << std::flush;
}

}  // namespace varnex::batch
