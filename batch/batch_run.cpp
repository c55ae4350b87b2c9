// The batch run calls the command handlers in the order a person at the main window would: the load
// handler as the window opens, Open or Connect from the File menu, "Find  solution" or "Next
// Iteration" clicks, then Save. Only the seams differ from the window's.
#include "batch/batch_run.h"

#include <filesystem>
#include <limits>

#include "batch/batch_save.h"
#include "batch/batch_seams.h"
#include "commands/accuracy_report.h"
#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/export_command.h"
#include "commands/import_command.h"
#include "commands/open_command.h"
#include "commands/run_outcome.h"
#include "core/convert.h"

namespace varnex::batch {

namespace {

namespace fs = std::filesystem;

std::string stopped_words() {
    RunOutcome stopped;
    stopped.end = RunEnd::Stopped;
    return describe(stopped);
}

// "Find  solution" once, or K clicks of "Next Iteration"; a stop request ends either after the sweep
// in progress.
void solve_by_clicks(const Args& args, const Environment& env, App& app, BatchControls& ui, Report& rep) {
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

// The seams and the App of one run, wired as the main window wires its own, and the run's steps in
// their order: load, solve, report, save. Each step returns false when the run is to end there.
class BatchRun {
  public:
    BatchRun(const Args& args, const Environment& env)
        : args_(args),
          env_(env),
          boxes_(*env.err, args.replace),
          progress_(*env.err, env.err_is_terminal),
          ui_(progress_, env.stop, [this](std::string_view text) { rep_.notes.emplace_back(text); }),
          observer_(ui_) {
        rep_.command = args.command == Command::Open ? "open" : "connect";
        // The full, clean path that a file dialog would return for the file named on the command line.
        rep_.system = (fs::path(env.cwd) / args.system).lexically_normal().string();
        rep_.ended = describe(RunOutcome{});
        app_.app_folder = env.app_folder;
        app_.ui = &ui_;
        app_.box = &boxes_;
        app_.cd = &cd_;
        app_.clock = &clock_;
        app_.grid.set_observer(&observer_);
        // The boxes' designed texts: one half in the desired accuracy, 1 in the index boxes.
        ui_.set_text(Ctl::txtEps, std::string("0") + decimal_separator() + "5");
        for (int k = 0; k < 3; ++k) ui_.set_text(txt_index(k), "1");
    }
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    int run(Report* report_out) {
        const bool ok = load() && solve() && report() && (!args_.save || save());
        return finish(ok ? 0 : 1, report_out);
    }

  private:
    // The load handler (message table, data folder and samples on a first run), then Open, Import or
    // Connect. A system that did not load whole is not solved or saved: the grid or the row file
    // holds only part of it.
    bool load() {
        Form_Load(app_);
        if (!boxes_.messages().empty()) return false;
        cd_.open_path = rep_.system;
        const double t0 = steady_seconds();
        if (args_.command == Command::Open && is_import_format(rep_.system)) {
            import_system(app_, rep_.system);
        } else if (args_.command == Command::Open) {
            Open_Click(app_);
        } else {
            Connect_Click(app_);
        }
        rep_.load_seconds = steady_seconds() - t0;
        if (!boxes_.messages().empty()) return false;
        if (!ui_.enabled(Ctl::cmdSolution) || !ui_.enabled(Ctl::cmdIter)) {
            *env_.err << "varnex-batch: the system could not be set up\n";
            return false;
        }
        return true;
    }

    bool solve() {
        if (args_.eps) ui_.set_text(Ctl::txtEps, *args_.eps);
        const double t0 = steady_seconds();
        progress_.start();
        solve_by_clicks(args_, env_, app_, ui_, rep_);
        progress_.finish();
        rep_.solve_seconds = steady_seconds() - t0;
        return true;
    }

    // The window's status-bar report, measured after the command as the window does; the accurate
    // solution when asked for; a run that ended on a fault fails here.
    bool report() {
        AccuracyReport accuracy;
        if (app_.last_run.end != RunEnd::None) accuracy = add_accuracy_report(rep_, app_);
        if (!boxes_.messages().empty()) return false;
        if (args_.accurate && !write_accurate(*args_.accurate, env_, app_, accuracy, rep_)) return false;
        if (app_.last_run.end == RunEnd::Fault) {
            *env_.err << "varnex-batch: the run ended on a fault: " << app_.last_run.fault << '\n';
            return false;
        }
        return true;
    }

    bool save() { return save_files(args_, env_, app_, cd_, boxes_, rep_); }

    // The result on stdout, with the state as the window would show it now.
    int finish(int code, Report* report_out) {
        rep_.n = app_.st.N;
        // Er as the accuracy box shows it, from the last completed sweep: a sweep that ended on a fault
        // leaves a partial Er in the state, which the box never showed.
        rep_.er_text = ui_.text(Ctl::txtEr);
        rep_.er = ui_.sweeps() > 0 ? ui_.last_er() : std::numeric_limits<float>::quiet_NaN();
        rep_.iter_count = app_.st.IterCount;
        rep_.messages = boxes_.messages();
        rep_.exit_code = code;
        if (args_.json) {
            print_json(rep_, *env_.out);
        } else {
            print_text(rep_, *env_.out);
        }
        if (report_out) *report_out = rep_;
        return code;
    }

    const Args& args_;
    const Environment& env_;
    Report rep_;
    PrintedBoxes boxes_;
    Progress progress_;
    BatchControls ui_;
    CommandLineDialog cd_;
    RealClock clock_;
    App app_;
    TickingObserver observer_;
};

}  // namespace

bool is_import_format(std::string_view path) {
    // The window's File, Import reads these (compressed ones too); a .txt stays on Open's path
    // (blank-separated text), unless its bytes are compressed.
    return is_import_file(std::string(path));
}

int run_batch(const Args& args, const Environment& env, Report* report_out) {
    BatchRun run(args, env);
    return run.run(report_out);
}

}  // namespace varnex::batch
