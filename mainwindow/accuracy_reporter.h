#pragma once
// The accuracy report in the main window's status bar: shown in part as a solve command ends, and
// completed by a worker thread that measures the residual and the condition of the system while the
// window stays free. Every command cancels the worker before it starts, so that no command ever
// changes the state the worker reads; a command that leaves the system as it was lets the report
// go on, one that starts another system clears it.

#include <QObject>
#include <QString>

#include "commands/accuracy_report.h"
#include "mainwindow/cancellable_worker.h"

namespace varnex {

class AccuracyReporter : public QObject {
    Q_OBJECT

  public:
    /// Reads `app` and writes its report through `ui.status`; both outlive the reporter.
    AccuracyReporter(const App& app, Controls& ui, QObject* parent = nullptr);
    ~AccuracyReporter() override;

    /// After a solve command has ended: when it began a run, shows sweeps and ending at once and
    /// starts the measurement. A command that ended before its run began (an unreadable accuracy)
    /// leaves the report of the run before.
    void start();
    /// Before any command: stops a running measurement and waits for its thread, which notices
    /// within one row or one piece of the factorization. Afterwards the state may change.
    void cancel();
    /// After any command: a report still to be measured is measured again when the system and its
    /// run are as they were, and cleared when they are not (another system, a new run). A command
    /// that wrote a note of its own (`wrote_status`: Import's right-hand side, a clipped Paste) keeps
    /// that note, and a report it interrupted is given up.
    void command_ended(bool wrote_status = false);
    /// A measurement is running or its result waits to be shown.
    bool busy() const { return worker_.busy(); }
    /// The report on show, complete or still being measured; nullptr when none is on show.
    const AccuracyReport* report() const { return showing_ ? &report_ : nullptr; }

  signals:
    /// The complete report line, as it went to the status bar.
    void reported(const QString& line);
    /// The report on show changed: begun, completed or cleared.
    void changed();

  private:
    // What a report is about: the system's order and mode and the counter of its run.
    struct Subject {
        int16_t n = 0, mode = 0, iter = 0;
        bool operator==(const Subject&) const = default;
    };
    Subject subject() const { return {app_.st.N, app_.st.DataMode, app_.st.IterCount}; }
    void measure(AccuracyReport report);
    // On the window's thread: shows the measured report.
    void deliver(AccuracyReport report);

    const App& app_;
    Controls& ui_;
    CancellableWorker<AccuracyReport> worker_{this};

    // The report on show (window thread only).
    bool showing_ = false;
    bool complete_ = false;
    Subject about_;
    std::string shown_;      // the report line last written to the status bar
    AccuracyReport report_;  // the report on show
    unsigned runs_seen_ = 0;
};

}  // namespace varnex
