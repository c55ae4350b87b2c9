// Cancelling the accuracy report while its worker stands in the middle of the factorization (memory
// mode) or of the residual pass over the row file (connected mode, too little memory to load it): the
// worker takes no further step once it sees the flag, nothing of the cancelled run reaches the status
// bar, and its thread is gone when cancel() returns.
#include <QSignalSpy>
#include <QtTest>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/open_command.h"
#include "core/cancel_check.h"
#include "core/memory_budget_testing.h"
#include "mainwindow/accuracy_reporter.h"
#include "support/fakes.h"

using namespace varnex;

namespace {

// The worker is held at the `at`-th check of `step` until its flag is set.
struct Hold {
    CancelStep step;
    int at;
    std::atomic<int> seen{0};
    std::atomic<bool> reached{false};
};
Hold* g_hold = nullptr;

void hold_worker(CancelStep step, const std::atomic<bool>& cancel) {
    if (step != g_hold->step || ++g_hold->seen != g_hold->at) return;
    g_hold->reached = true;
    // Bounded, so that a cancel that never sets the flag fails the test instead of hanging it.
    for (int k = 0; k < 20000 && !cancel.load(); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Installs the hold for a scope, with the memory this process may use set to 1 MB when `short_of_memory`.
struct Holding {
    Holding(Hold& hold, bool short_of_memory) {
        g_hold = &hold;
        g_cancel_watcher = hold_worker;
        if (short_of_memory) set_usable_memory_for_tests(1u << 20);
    }
    ~Holding() {
        g_cancel_watcher = nullptr;
        set_usable_memory_for_tests(std::nullopt);
    }
};

int thread_count() {
    return static_cast<int>(
        std::distance(std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator{}));
}

// A diagonally dominant system of order n as the text of a system file.
std::string system_text(int n) {
    std::string s;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) s += std::to_string(i == j ? 4 * n : (i * j) % 7 - 3) + ' ';
        s += "1\r\n";
    }
    return s;
}

}  // namespace

class AccuracyCancelTest : public QObject {
    Q_OBJECT

    // Loads a system of order n by `command` (Open or Connect), makes one sweep, starts the report and
    // cancels it once the worker stands at `hold`.
    void cancel_at(void (*command)(App&), int n, Hold& hold) {
        test::TestApp t;
        t.cd.next.push_back(t.dir.write("data/s.txt", system_text(n)));
        command(t.app);
        cmdIter_Click(t.app);
        const Holding holding(hold, t.app.st.DataMode == kModeConnected);
        AccuracyReporter reporter(t.app, t.ui);
        QSignalSpy delivered(&reporter, &AccuracyReporter::reported);
        reporter.start();
        QTRY_VERIFY_WITH_TIMEOUT(hold.reached, 20000);
        const int threads = thread_count();
        reporter.cancel();
        // The worker took no step after the one at which it saw the flag, and its thread has ended.
        QCOMPARE(hold.seen.load(), hold.at);
        QVERIFY(thread_count() < threads);
        QTest::qWait(50);
        QCOMPARE(delivered.count(), 0);
        QVERIFY2(t.ui.notes.back().find("backward error") == std::string::npos, t.ui.notes.back().c_str());
    }

  private slots:
    // Order 1100 is factored in three panels: the second check comes after the first panel.
    void cancelInTheMiddleOfTheFactorization() {
        Hold hold{CancelStep::Factorization, 2};
        cancel_at(Open_Click, 1100, hold);
    }

    // With 1 MB to spare the connected system is not loaded: the residual is measured in one pass over
    // the row file, held at its 100th equation.
    void cancelInTheMiddleOfTheConnectedResidualPass() {
        Hold hold{CancelStep::RowFilePass, 100};
        cancel_at(Connect_Click, 200, hold);
    }
};

QTEST_MAIN(AccuracyCancelTest)
#include "accuracy_cancel_qtest.moc"
