// The accuracy report in the real main window, offscreen: it follows every solve command without
// holding the window, a new command cancels it before it touches the state, a stale result never
// reaches the status bar; held in the middle of the factorization or of the residual pass over the row
// file, the cancelled worker takes no further step and its thread is gone when cancel() returns. Built
// with VARNEX_TSAN, this is the check for races with the worker. The
// verdict as a person meets it: whole at the start of the status bar at the designed size, the whole
// report in the bar's tooltip, View, Accuracy with the report and the components farthest from the
// reference, and Export's proposed names.
#include <QSignalSpy>
#include <QTextBrowser>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <new>
#include <random>
#include <sstream>
#include <thread>

#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/open_command.h"
#include "core/cancel_check.h"
#include "core/memory_budget_testing.h"
#include "mainwindow/accuracy_reporter.h"
#include "mainwindow/picture_windows.h"
#include "mainwindow/solution_window_testing.h"
#include "support/window.h"

using namespace varnex;

namespace {

// A diagonally dominant system of order n as the text of a system file.
std::string system_text(int n) {
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> u(-99, 99);
    std::ostringstream s;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) s << (i == j ? 100 * n : u(gen)) << ' ';
        s << u(gen) << "\r\n";
    }
    return s.str();
}

// The window; with n, a system of order n opened, the window not shown, so that the status bar keeps
// the whole report line.
struct Window : test::Window {
    QStatusBar* bar = w.statusBar();

    Window() = default;
    explicit Window(int n) { open(dir.write("data/big.txt", system_text(n))); }
    // Shows the window, opens or connects the system file with `text`, runs "Find  solution" and waits
    // for the report.
    bool solve(const char* command, const std::string& name, const std::string& text) {
        if (!show()) return false;
        open(dir.write("data/" + name, text), command);
        click("cmdSolution");
        return QTest::qWaitFor([&] { return bar->toolTip().contains(QStringLiteral("Verdict: ")); }, 20000);
    }
};

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

// Threads of this process.
int thread_count() {
    return static_cast<int>(
        std::distance(std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator{}));
}

}  // namespace

class AccuracyReporterTest : public QObject {
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
    void nextCommandCancelsAndOnlyTheLastReportIsShown() {
        Window win(400);
        QSignalSpy shown(win.bar, &QStatusBar::messageChanged);
        // Commands in quick succession, each cancelling the report of the one before; each has ended
        // with its measurement still running.
        win.click("cmdSolution");
        QVERIFY(win.status().contains(QStringLiteral("accuracy reached \u00b7 ")));
        QVERIFY(win.status().endsWith(QStringLiteral(" ms \u00b7 computing accuracy\u2026")));
        for (int k = 0; k < 4; ++k) win.click("cmdIter");
        const int sweeps = win.w.app().st.IterCount - 1;
        QTRY_VERIFY_WITH_TIMEOUT(win.status().contains(QStringLiteral("backward error")), 10000);
        const QString want = QStringLiteral(" \u00b7 %1 sweeps, last by Next Iteration \u00b7 ").arg(sweeps);
        QVERIFY2(win.status().contains(want), qPrintable(win.status()));
        for (const QList<QVariant>& args : shown) {
            const QString line = args.at(0).toString();
            QVERIFY2(!line.contains(QStringLiteral("backward")) || line.contains(want), qPrintable(line));
        }
        // A command that leaves the system alone cancels the measurement and lets it start again.
        win.click("cmdSolution");
        win.click("cmdUp(0)");
        QTRY_VERIFY_WITH_TIMEOUT(win.status().contains(QStringLiteral("backward error")), 10000);
        QVERIFY2(win.status().contains(QStringLiteral("accuracy reached")), qPrintable(win.status()));
        // Another system clears the report, finished or not.
        win.click("cmdSolution");
        win.w.findChild<QLineEdit*>("txtN")->setText(QStringLiteral("3"));
        win.click("cmdN");
        QTest::qWait(300);
        QVERIFY2(win.status().isEmpty(), qPrintable(win.status()));
    }

    // Closing the window cancels the report's worker and joins it: no thread outlives the window, and
    // a result posted before the cancel finds no window.
    void windowClosesWhileAReportRuns() {
        auto* win = new Window(2000);  // large enough that the report is still measured
        win->click("cmdSolution");
        QVERIFY(win->status().contains(QStringLiteral("computing accuracy")));
        const int threads = thread_count();
        delete win;
        QVERIFY2(thread_count() < threads, "the worker still runs after the window has gone");
        QTest::qWait(50);
    }

    void aDeliveryThatFailsStaysInsideTheReporter() {
        // A status bar that fails (no memory for the line) as the measured report arrives: the
        // failure stays out of the event loop, and the next report still comes through.
        struct FailingControls : test::FakeControls {
            bool fail = true;
            void status(std::string_view t) override {
                if (fail && t.find("backward error") != std::string_view::npos) throw std::bad_alloc();
                FakeControls::status(t);
            }
        } ui;
        test::TestApp t;
        t.cd.next.push_back(t.dir.write("data/s.txt", system_text(60)));
        Open_Click(t.app);
        cmdSolution_Click(t.app);
        AccuracyReporter reporter(t.app, ui);
        reporter.start();
        QTRY_VERIFY_WITH_TIMEOUT(!reporter.busy(), 10000);
        QVERIFY(ui.notes.back().find("computing accuracy") != std::string::npos);

        ui.fail = false;
        cmdIter_Click(t.app);
        reporter.start();
        QTRY_VERIFY_WITH_TIMEOUT(ui.notes.back().find("backward error") != std::string::npos, 10000);
    }

    // The verdict whole at the start of the status bar, then only whole items, among them the wall
    // time; the whole report in the bar's tooltip and in View, Accuracy, as text that can be copied;
    // View, Solution draws the reference beside x; Export proposes names beside the system file and
    // writes the accurate solution.
    void theVerdictAsAPersonMeetsIt() {
        Window win;
        // The elimination's pivot is the largest signed entry: it stops at column 2 of this system.
        QVERIFY(win.solve("Open", "zp.txt", "2 1 0 4\r\n1 0.5 1 5\r\n1 -1 0 -1\r\n"));
        const QString shown = win.bar->currentMessage();
        QString verdict = win.bar->toolTip().section('\n', 0, 0).mid(9);  // after "Verdict: "
        verdict.truncate(verdict.lastIndexOf(QStringLiteral(" (")));
        QVERIFY2(shown.startsWith(verdict), qPrintable(shown + " | " + verdict));
        const QRegularExpression whole_items(QStringLiteral("^[^\u00b7]*( \u00b7 \\d+ ms)( \u00b7 [^\u00b7]+)*$"));
        QVERIFY2(whole_items.match(shown).hasMatch(), qPrintable(shown));
        // A wider window shows more of the line, a narrower one less, and the verdict still.
        win.w.resize(win.w.width() * 2, win.w.height());
        QTRY_VERIFY(win.bar->currentMessage().size() > shown.size());
        QVERIFY(win.bar->currentMessage().startsWith(verdict));

        win.trigger("Accuracy");
        auto* view = win.w.findChild<QTextBrowser*>("txtAccuracy");
        QVERIFY(view && view->isVisible() && win.get("frmAccuracy"));
        const QString text = view->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("Reason: zero_pivot")) && text.contains(QStringLiteral("column 2")) &&
                     text.contains(QStringLiteral("farthest from the reference")),
                 qPrintable(text));
        QVERIFY(view->textInteractionFlags() & Qt::TextSelectableByMouse);
        win.w.pictures()->show_solution();
        QTRY_COMPARE(SolutionWindowProbe{*win.w.pictures()->solution()}.reference_points(), 3);

        win.trigger("ExportSolution");  // the fake dialog is cancelled
        QCOMPARE(QString::fromStdString(win.cd.offered.back()), QStringLiteral("zp_x.csv"));
        const std::string out = win.dir.path() + "/data/zp_x_accurate.csv";
        win.open(out, "ExportAccurate");
        QCOMPARE(QString::fromStdString(win.cd.offered.back()), QStringLiteral("zp_x_accurate.csv"));
        QCOMPARE(QString::fromStdString(test::read_file(out)), QStringLiteral("1\r\n2\r\n3\r\n"));
    }

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

QTEST_MAIN(AccuracyReporterTest)
#include "accuracy_reporter_qtest.moc"
