// The accuracy report in the real main window, offscreen: it follows every solve command without
// holding the window, a new command cancels it before it touches the state, and a stale result never
// reaches the status bar. Built with VARNEX_TSAN, this is the check for races with the worker.
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>
#include <cstring>
#include <random>
#include <sstream>

#include "files/save_command.h"
#include "mainwindow/frm_main.h"
#include "support/fakes.h"

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

struct Window {
    test::TempDir dir;
    test::FakeBoxes boxes;
    test::FakeDialog cd;
    FrmMain w{QString::fromStdString(dir.path())};
    QStatusBar* bar = w.findChild<QStatusBar*>("staStatus");

    Window() {
        w.app().box = &boxes;
        w.app().cd = &cd;
    }
    explicit Window(int n) : Window() { load("Open", "data/big.txt", system_text(n)); }
    // Open or Connect of a system file with the given text.
    void load(const char* command, const std::string& rel, const std::string& text) {
        cd.next.push_back(dir.write(rel, text));
        w.findChild<QAction*>(command)->trigger();
    }
    void click(const char* name) { QTest::mouseClick(w.findChild<QPushButton*>(name), Qt::LeftButton); }
    QString status() const { return bar->currentMessage(); }
};

}  // namespace

class AccuracyReporterTest : public QObject {
    Q_OBJECT

  private slots:
    void reportFollowsTheCommandAndLeavesTheSolutionAlone() {
        Window win(300);
        QCOMPARE(win.w.app().st.N, int16_t(300));
        win.click("cmdSolution");
        // The command has ended; the measurement runs behind it.
        QVERIFY2(win.status().contains(QStringLiteral("accuracy reached \u00b7 computing accuracy")),
                 qPrintable(win.status()));
        const std::vector<float> x = win.w.app().st.X;
        const int16_t count = win.w.app().st.IterCount;
        QTRY_VERIFY_WITH_TIMEOUT(win.status().contains(QStringLiteral("backward error")), 10000);
        QVERIFY2(win.status().contains(QStringLiteral("\u03ba\u2081 \u2248")), qPrintable(win.status()));
        QVERIFY(win.w.app().st.X == x);
        QCOMPARE(win.w.app().st.IterCount, count);
    }

    void nextCommandCancelsAndOnlyTheLastReportIsShown() {
        Window win(400);
        QSignalSpy shown(win.bar, &QStatusBar::messageChanged);
        // Commands in quick succession, each cancelling the report of the one before.
        win.click("cmdSolution");
        for (int k = 0; k < 4; ++k) win.click("cmdIter");
        const int sweeps = win.w.app().st.IterCount - 1;
        QTRY_VERIFY_WITH_TIMEOUT(win.status().contains(QStringLiteral("backward error")), 10000);
        const QString want = QStringLiteral("%1 sweeps, last by Next Iteration \u00b7 \u2016A").arg(sweeps);
        QVERIFY2(win.status().startsWith(want), qPrintable(win.status()));
        for (const QList<QVariant>& args : shown) {
            const QString line = args.at(0).toString();
            QVERIFY2(!line.contains(QStringLiteral("backward")) || line.startsWith(want), qPrintable(line));
        }
        // A command that leaves the system alone cancels the measurement and lets it start again.
        win.click("cmdSolution");
        win.click("cmdUp(0)");
        QTRY_VERIFY_WITH_TIMEOUT(win.status().contains(QStringLiteral("backward error")), 10000);
        QVERIFY2(win.status().contains(QStringLiteral("accuracy reached")), qPrintable(win.status()));
        // A solve command that ends before its run begins leaves the report of the run before.
        const QString last = win.status();
        win.w.findChild<QLineEdit*>("txtEps")->setText(QStringLiteral("abc"));
        win.click("cmdSolution");
        QCOMPARE(win.boxes.shown.size(), std::size_t(1));
        QTest::qWait(100);
        QCOMPARE(win.status(), last);
        // Another system clears the report, finished or not.
        win.w.findChild<QLineEdit*>("txtEps")->setText(QStringLiteral("0.5"));
        win.click("cmdSolution");
        win.w.findChild<QLineEdit*>("txtN")->setText(QStringLiteral("3"));
        win.click("cmdN");
        QTest::qWait(300);
        QVERIFY2(win.status().isEmpty(), qPrintable(win.status()));
    }

    void testSystemsSaveTheSameSolutionWithTheReportAsBefore() {
        const std::string data = test::testdata_dir();
        if (data.empty()) QSKIP("no test data");
#ifdef VARNEX_TSAN_BUILD
        QSKIP("the full runs take minutes under ThreadSanitizer; the other cases check the threads");
#endif
        for (const char* command : {"Open", "Connect"}) {
            for (const char* name : {"494_bus", "bcsstk01", "bfwa62", "fs_183_1", "impcol_a", "west0067"}) {
                const QString trace = QStringLiteral("%1 %2").arg(command, name);
                Window win;
                win.load(command, std::string("data/") + name + ".txt", test::read_file(data + "/" + name + ".txt"));
                win.click("cmdSolution");
                // The report is still being computed: what the run left, saved before the report...
                const SystemState before = win.w.app().st;
                save_solution(win.w.app(), win.dir.path() + "/before.txt");
                QTRY_VERIFY_WITH_TIMEOUT(win.status().contains(QStringLiteral("backward error")), 20000);
                // ...is what stays after it, bit for bit.
                const SystemState& after = win.w.app().st;
                save_solution(win.w.app(), win.dir.path() + "/after.txt");
                QVERIFY2(after.X == before.X && after.R == before.R, qPrintable(trace));
                QVERIFY2(after.IterCount == before.IterCount && std::memcmp(&after.Er, &before.Er, 4) == 0,
                         qPrintable(trace));
                const std::string saved = test::read_file(win.dir.path() + "/after.txt");
                QVERIFY2(!saved.empty() && saved == test::read_file(win.dir.path() + "/before.txt"),
                         qPrintable(trace));
            }
        }
    }

    void windowClosesWhileAReportRuns() {
        auto* win = new Window(600);
        win->click("cmdSolution");
        QVERIFY(win->status().contains(QStringLiteral("computing accuracy")));
        delete win;  // the worker is cancelled and joined before the state goes
        QTest::qWait(50);
    }
};

QTEST_MAIN(AccuracyReporterTest)
#include "accuracy_reporter_qtest.moc"
