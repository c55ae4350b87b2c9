#pragma once
// The accuracy report in the main window's status bar: shown in part as a solve command ends, and
// completed by a worker thread that measures the residual and the condition of the system while the
// window stays free. The next command, and the window's end, cancel the worker first, so that no
// command ever changes the state the worker reads.

#include <QObject>
#include <QString>
#include <atomic>
#include <mutex>
#include <thread>

#include "commands/accuracy_report.h"

namespace varnex {

class AccuracyReporter : public QObject {
    Q_OBJECT

  public:
    /// Reads `app` and writes its report through `ui.status`; both outlive the reporter.
    AccuracyReporter(const App& app, Controls& ui, QObject* parent = nullptr);
    ~AccuracyReporter() override;

    /// After a solve command has ended: shows sweeps and ending at once and starts the measurement.
    void start();
    /// Stops a running measurement and waits for its thread, which notices within one row or one
    /// piece of the factorization. Afterwards the state may change.
    void cancel();
    /// A measurement is running or its result waits to be shown.
    bool busy() const { return worker_.joinable(); }

  signals:
    /// The complete report line, as it went to the status bar.
    void reported(const QString& line);

  private slots:
    /// On the window's thread: shows the measured report.
    void deliver();

  private:
    const App& app_;
    Controls& ui_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::mutex mutex_;  // guards result_ and ready_
    AccuracyReport result_;
    bool ready_ = false;
};

}  // namespace varnex
