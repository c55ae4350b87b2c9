#include "mainwindow/accuracy_reporter.h"

namespace varnex {

AccuracyReporter::AccuracyReporter(const App& app, Controls& ui, QObject* parent)
    : QObject(parent), app_(app), ui_(ui) {
    setObjectName(QStringLiteral("accuracyReporter"));
}

AccuracyReporter::~AccuracyReporter() { cancel(); }

void AccuracyReporter::start() {
    // No new run: whatever command_ended() decided for the report on show stands.
    if (app_.last_run.runs == runs_seen_) return;
    cancel();
    runs_seen_ = app_.last_run.runs;
    AccuracyReport report = start_report(app_);
    showing_ = true;
    about_ = subject();
    shown_ = status_line(report);
    ui_.status(shown_);
    report_ = report;
    complete_ = !report.pending;
    emit changed();
    if (complete_) {
        emit reported(QString::fromStdString(shown_));
        return;
    }
    measure(std::move(report));
}

void AccuracyReporter::measure(AccuracyReport report) {
    worker_.run(
        [this, report](const std::atomic<bool>& cancel) mutable -> std::optional<AccuracyReport> {
            if (!measure_report(app_, report, cancel)) return std::nullopt;
            return std::move(report);
        },
        [this](AccuracyReport measured) { deliver(std::move(measured)); });
}

void AccuracyReporter::cancel() { worker_.cancel(); }

void AccuracyReporter::command_ended(bool wrote_status) {
    if (!showing_) return;
    if (wrote_status) {
        showing_ = false;
        emit changed();
        return;
    }
    if (subject() != about_) {
        showing_ = false;
        ui_.status("");
        emit changed();
        return;
    }
    // The command left the system and its run alone (an arrow, Save, About, a solve command that
    // ended before its run began): the report comes back over the run's note, and what the cancel
    // interrupted is measured again.
    ui_.status(shown_);
    emit changed();
    if (!complete_ && !busy()) {
        // The run's own wall time, not the time until this command.
        AccuracyReport again = start_report(app_);
        again.wall_ms = report_.wall_ms;
        measure(std::move(again));
    }
}

void AccuracyReporter::deliver(AccuracyReport report) {
    complete_ = true;
    const std::string line = status_line(report);
    shown_ = line;
    report_ = std::move(report);
    ui_.status(line);
    emit changed();
    emit reported(QString::fromStdString(line));
}

}  // namespace varnex
