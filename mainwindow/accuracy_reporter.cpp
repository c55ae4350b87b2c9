#include "mainwindow/accuracy_reporter.h"

#include <QMetaObject>

namespace varnex {

AccuracyReporter::AccuracyReporter(const App& app, Controls& ui, QObject* parent)
    : QObject(parent), app_(app), ui_(ui) {
    setObjectName(QStringLiteral("accuracyReporter"));
}

AccuracyReporter::~AccuracyReporter() { cancel(); }

void AccuracyReporter::start() {
    cancel();
    AccuracyReport report = start_report(app_);
    ui_.status(report_line(report));
    if (!report.pending) {
        emit reported(QString::fromStdString(report_line(report)));
        return;
    }
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

void AccuracyReporter::deliver() {
    AccuracyReport report;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A result withdrawn by cancel() after this call was posted.
        if (!ready_) return;
        report = std::move(result_);
        ready_ = false;
    }
    worker_.join();  // the thread has posted and is returning
    const std::string line = report_line(report);
    ui_.status(line);
    emit reported(QString::fromStdString(line));
}

}  // namespace varnex
