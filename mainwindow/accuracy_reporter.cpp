#include "mainwindow/accuracy_reporter.h"

#include <QMetaObject>

#include "mainwindow/guarded.h"

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
    worker_ = std::thread([this, report]() mutable {
        const bool done = measure_report(app_, report, cancel_);
        std::lock_guard<std::mutex> lock(mutex_);
        if (!done || cancel_.load()) return;
        result_ = std::move(report);
        ready_ = true;
        // Posted while the lock is held: cancel() takes the same lock before the window may go, so
        // the reporter is alive here. Only Qt's own event carries the call; the result stays in
        // result_ behind the mutex.
        QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
    });
}

void AccuracyReporter::cancel() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancel_.store(true);
    }
    worker_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    cancel_.store(false);
    ready_ = false;
}

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

void AccuracyReporter::deliver() {
    // Called from Qt's event queue.
    guarded([this] {
        AccuracyReport report;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // A result withdrawn by cancel() after this call was posted.
            if (!ready_) return;
            report = std::move(result_);
            ready_ = false;
        }
        worker_.join();  // the thread has posted and is returning
        complete_ = true;
        const std::string line = status_line(report);
        shown_ = line;
        report_ = std::move(report);
        ui_.status(line);
        emit changed();
        emit reported(QString::fromStdString(line));
    });
}

}  // namespace varnex
