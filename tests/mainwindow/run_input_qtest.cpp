// Input while "Find  solution" holds the real window, offscreen: Esc stops the run after the sweep in
// progress, every other click, key and close is dropped instead of acting or waiting for the run's end.
#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QWindow>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "commands/connect_command.h"
#include "core/convert.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/qt_seams.h"
#include "support/window.h"

using namespace varnex;
using namespace std::chrono_literals;

namespace {

// The window shown.
struct Window : test::Window {
    Window() { w.show(); }
};

// How a run stopped by Esc ended: how long after the Esc (ms; negative when it ended before), and the
// status bar's notes meanwhile.
struct Stopped {
    qint64 after_esc = -1;
    QStringList notes;
};

// Presses "Find  solution" while another thread posts a click on `late` and then Esc at the given
// moments after the press, as a person's input arrives while the window's thread is busy.
Stopped stop_by_escape(Window& win, const char* late, std::chrono::milliseconds click,
                       std::chrono::milliseconds escape) {
    Stopped s;
    QObject collector;  // takes the connection with it on return
    QObject::connect(win.w.statusBar(), &QStatusBar::messageChanged, &collector,
                     [&](const QString& m) { s.notes << m; });
    // The events are made here: an input event made on another thread would make its device there.
    QWidget* button = win.get(late);
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    auto* press = new QMouseEvent(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    auto* release = new QMouseEvent(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    auto* esc = new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QElapsedTimer clock;
    std::atomic<qint64> posted_at{-1};
    clock.start();
    std::thread input([&] {
        std::this_thread::sleep_for(click);
        QCoreApplication::postEvent(button, press);
        QCoreApplication::postEvent(button, release);
        std::this_thread::sleep_for(escape - click);
        posted_at = clock.elapsed();
        QCoreApplication::postEvent(&win.w, esc);
    });
    win.click("cmdSolution");
    const qint64 ended_at = clock.elapsed();
    input.join();
    s.after_esc = ended_at - posted_at;
    return s;
}

// A test matrix's path, or "" when the test data folder lacks it.
std::string testdata(const char* name) {
    const std::string dir = test::testdata_dir();
    const std::string path = dir + "/" + name;
    return !dir.empty() && std::filesystem::exists(path) ? path : std::string();
}

}  // namespace

class RunInputTest : public QObject {
    Q_OBJECT

  private slots:
    // bcsstk01 meets neither stop rule for 32 767 sweeps: long enough to be interrupted.
    void escStopsTheRunAndDropsTheClickBeforeIt() {
        const std::string path = testdata("bcsstk01.txt");
        if (path.empty()) QSKIP("bcsstk01.txt is not in the test data folder");
        Window win;
        win.open(path);
        QCOMPARE(win.w.app().st.N, int16_t{48});
        // Early in the run: on a quiet machine the whole run takes about 0.2 s.
        const Stopped stop = stop_by_escape(win, "cmdSolution", 20ms, 60ms);
        const App& app = win.w.app();
        QVERIFY2(stop.after_esc >= 0 && stop.after_esc < 200, qPrintable(QString::number(stop.after_esc)));
        QCOMPARE(app.last_run.end, RunEnd::Stopped);
        QCOMPARE(app.last_run.sweeps, app.st.IterCount - 1);
        QVERIFY(app.last_run.timed && !win.get<QLineEdit>("txtTime")->text().isEmpty());
        QCOMPARE(win.get<QLineEdit>("txtEr")->text().toStdString(), single_to_text(app.st.Er));
        QVERIFY(!stop.notes.isEmpty());
        QCOMPARE(stop.notes[0], QStringLiteral("Esc stops the run"));
        // The run's note gives way to the accuracy report of the stopped run.
        QVERIFY2(win.status().contains(QStringLiteral("sweeps, stopped")), qPrintable(win.status()));

        // The dropped click is not carried out later either.
        QTest::qWait(100);
        QCOMPARE(app.last_run.end, RunEnd::Stopped);

        // Save writes what the grid shows: the approximation of the last completed sweep.
        win.open(win.dir.path() + "/data/stopped.txt", "Save");
        std::istringstream saved(test::read_file(win.dir.path() + "/data/solutions/stopped.txt"));
        std::string token;
        for (int i = 1; i <= 48; ++i) {
            QVERIFY(saved >> token);
            QCOMPARE(token, single_to_text(app.st.X[i]));
        }
    }

    // A connected run stops the same way (fs_183_1 takes thousands of sweeps from x = 0).
    void escStopsAConnectedRunToo() {
        const std::string path = testdata("fs_183_1.txt");
        if (path.empty()) QSKIP("fs_183_1.txt is not in the test data folder");
        Window win;
        win.open(path, "Connect");
        const std::string row_file = row_file_path(win.dir.path());
        QCOMPARE(win.w.app().st.DataMode, kModeConnected);

        const Stopped stop = stop_by_escape(win, "cmdN", 100ms, 300ms);  // Accept N would leave the mode
        std::filesystem::remove(row_file);
        const App& app = win.w.app();
        QVERIFY2(stop.after_esc >= 0 && stop.after_esc < 200, qPrintable(QString::number(stop.after_esc)));
        QCOMPARE(app.last_run.end, RunEnd::Stopped);
        QCOMPARE(app.st.DataMode, kModeConnected);
        QCOMPARE(win.w.app().grid.text(1, 1), single_to_text(app.st.X[1]));
        // The run's note counts the sweeps at the throttled repaint (every 0.2 s).
        QVERIFY(stop.notes.size() >= 2);
        QCOMPARE(stop.notes[0], QStringLiteral("Esc stops the run"));
        QVERIFY2(stop.notes[1].contains(QRegularExpression("^Esc stops the run    Sweeps: [1-9]")),
                 qPrintable(stop.notes[1]));
    }

    // The keys, shortcuts, clicks and close made while a command holds the window are all dropped;
    // the close is carried out once the command has ended.
    void inputDuringACommandIsDroppedAndACloseWaits() {
        Window win;
        win.get<QLineEdit>("txtN")->setText("2");
        QTest::mouseClick(win.get("cmdN"), Qt::LeftButton);
        for (auto [row, col, text] :
             {std::tuple{1, 1, "2"}, {1, 3, "1"}, {2, 1, "1"}, {2, 3, "3"}, {1, 5, "3"}, {2, 5, "5"}})
            win.w.app().grid.set_text(row, col, text);
        int about = 0;
        connect(win.w.findChild<QAction*>("About"), &QAction::triggered, [&] { ++about; });
        auto* txtA = win.get<QLineEdit>("txtA");
        txtA->setFocus();
        // The input arrives when the sweep of "Next Iteration" lets the window handle its events.
        QTest::qWait(QtControls::kRefreshMs);
        QTimer::singleShot(0, [&] {
            QTest::keyClicks(txtA, "12");
            QTest::keyClick(win.w.windowHandle(), Qt::Key_A, Qt::ControlModifier);
            QTest::mouseClick(win.get("cmdUp(0)"), Qt::LeftButton);
            win.w.windowHandle()->close();  // as the window system's close button does
        });
        QTest::mouseClick(win.get("cmdIter"), Qt::LeftButton);
        QCOMPARE(win.w.app().st.IterCount, int16_t{2});
        QCOMPARE(txtA->text(), QString());
        QCOMPARE(about, 0);
        QCOMPARE(win.get<QLineEdit>("txtIndex(0)")->text(), QStringLiteral("1"));
        QVERIFY(win.w.isVisible());
        QTRY_VERIFY(!win.w.isVisible());
    }

    // A message box that the run itself shows (a zero column: "NoSolution") still takes its click.
    void aBoxShownByTheRunKeepsItsInput() {
        Window win;
        QtMessageBoxes real(&win.w);
        win.w.app().box = &real;
        win.get<QLineEdit>("txtN")->setText("1");
        QTest::mouseClick(win.get("cmdN"), Qt::LeftButton);
        win.w.app().grid.set_text(1, 1, "0");
        win.w.app().grid.set_text(1, 3, "1");
        QString seen;
        bool closed_by_click = false;
        std::function<void()> answer = [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return QTimer::singleShot(10, answer);
            seen = box->text();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            closed_by_click = !box->isVisible();
            if (!closed_by_click) box->done(QMessageBox::Ok);  // a dropped click must not hang the test
        };
        QTimer::singleShot(0, answer);
        QTest::mouseClick(win.get("cmdSolution"), Qt::LeftButton);
        QCOMPARE(seen, QStringLiteral("NoSolution"));
        QVERIFY(closed_by_click);
    }
};

QTEST_MAIN(RunInputTest)
#include "run_input_qtest.moc"
