// The real main window, offscreen: controls, menus and their keys, the clipboard, message boxes; and
// input while "Find  solution" holds the window: Esc stops the run after the sweep in progress, every
// other click, key and close is dropped instead of acting or waiting for the run's end.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "commands/connect_command.h"
#include "core/convert.h"
#include "mainwindow/qt_seams.h"
#include "shell/help_window.h"
#include "support/window.h"

using namespace varnex;
using test::Window;
using namespace std::chrono_literals;

namespace {

// The window shown.
struct Shown : test::Window {
    Shown() { w.show(); }
};

// How a run stopped by Esc ended: how long after the Esc (ms; negative when it ended before), and the
// status bar's notes meanwhile.
struct Stopped {
    qint64 after_esc = -1;
    QStringList notes;
};

// Presses "Find  solution" while another thread posts Esc `escape` after the press, as a person's key
// arrives while the window's thread is busy.
Stopped stop_by_escape(test::Window& win, std::chrono::milliseconds escape) {
    Stopped s;
    QObject collector;  // takes the connection with it on return
    QObject::connect(win.w.statusBar(), &QStatusBar::messageChanged, &collector,
                     [&](const QString& m) { s.notes << m; });
    // The event is made here: an input event made on another thread would make its device there.
    auto* esc = new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QElapsedTimer clock;
    std::atomic<qint64> posted_at{-1};
    clock.start();
    std::thread input([&] {
        std::this_thread::sleep_for(escape);
        posted_at = clock.elapsed();
        QCoreApplication::postEvent(&win.w, esc);
    });
    win.click("cmdSolution");
    const qint64 ended_at = clock.elapsed();
    input.join();
    s.after_esc = ended_at - posted_at;
    return s;
}

}  // namespace

class FrmMainTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsCarryTheirNamesCaptionsAndFirstStates() {
        Window win;
        QCOMPARE(win.w.windowTitle(), QStringLiteral("VARNEX SOLVER"));
        // clang-format off
        const char* captions[][2] = {
            {"lblN", "N="}, {"lblA", "A ("}, {"lblA1", ","}, {"lblA2", ") ="}, {"lblB", "B ("}, {"lblB1", ") ="},
            {"lblEps", "Desired accuracy"}, {"lblTime", "Duration of the  last operation"},
            {"lblEr", "Current accuracy"}, {"txtN", ""}, {"cmdN", "Accept N"}, {"cmdA", "Accept A(i,j)"},
            {"cmdB", "Accept B(i)"}, {"cmdSolution", "Find  solution"}, {"cmdIter", "Next Iteration"},
            {"txtEps", "0.5"}, {"txtEr", ""}, {"txtIndex(0)", "1"}, {"txtIndex(2)", "1"},
            {"cmdUp(0)", ">"}, {"cmdDown(0)", "<"}};
        // clang-format on
        for (auto& c : captions) {
            QWidget* w = win.get(c[0]);
            QVERIFY2(w && w->property("text").toString() == QString::fromLatin1(c[1]), c[0]);
        }
        for (const char* off : {"cmdA", "cmdB", "cmdSolution", "cmdIter", "txtIndex(0)", "txtIndex(2)"})
            QVERIFY2(!win.get(off)->isEnabled(), off);
    }

    // The menu bar's order and every entry's keys, and the File keys, Ctrl+A and F1 reaching their
    // commands.
    void menusAndTheirKeys() {
        Window win;
        QStringList titles;
        for (QAction* a : win.w.menuBar()->actions()) titles << a->text();
        QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "&Help"}));
        // clang-format off
        const char* keys[][3] = {
            {"Open", "Ctrl+O", ""}, {"Save", "Ctrl+R", ""}, {"Connect", "Ctrl+C", ""}, {"Import", "Ctrl+I", ""},
            {"Exit", "Ctrl+E", ""}, {"Copy", "Ctrl+Ins", "Ctrl+Shift+C"}, {"Paste", "Ctrl+V", "Shift+Ins"},
            {"Convergence", "Ctrl+K", ""}, {"Matrix", "Ctrl+M", ""}, {"About", "Ctrl+A", ""},
            {"UserGuide", "Ctrl+U", "F1"}, {"GetPaid", "Ctrl+G", ""}};
        // clang-format on
        for (auto& k : keys) {
            QList<QKeySequence> want{QKeySequence(QString::fromLatin1(k[1]))};
            if (*k[2]) want << QKeySequence(QString::fromLatin1(k[2]));
            QVERIFY2(win.get<QAction>(k[0]) && win.get<QAction>(k[0])->shortcuts() == want, k[0]);
        }

        QVERIFY(win.show());
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        const std::string data = win.dir.path() + "/data/";
        win.cd.next = {data + "sample1.txt", data + "copy.txt"};
        QTest::keyClick(&win.w, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(win.w.app().st.N, int16_t{4});
        QTest::keyClick(&win.w, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(test::read_file(data + "solutions/copy.txt"), std::string("0 0 0 0 \r\n"));
        QVERIFY(win.boxes.shown.empty());
        // Ctrl+A over a text box is About, not "select all".
        auto* txtN = win.get<QLineEdit>("txtN");
        txtN->setFocus();
        QTest::keyClicks(txtN, "12");
        QTest::keyClick(txtN, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(win.boxes.shown.size() == 1 && QString::fromStdString(win.boxes.shown[0]).contains("VARNEX SOLVER"));
        QVERIFY(!txtN->hasSelectedText());
        QTest::keyClick(&win.w, Qt::Key_F1);
        QVERIFY(help_window() && help_window()->windowTitle() == QStringLiteral("User Guide"));
        close_help_window();
    }

    // Ctrl+I imports; Ctrl+Shift+C copies the selected block and Ctrl+V pastes one at the current cell;
    // Ctrl+C over the grid stays Connect, and Ctrl+V in a text box pastes there.
    void importedBlockCopiesAndPastesThroughTheClipboard() {
        Window win;
        QVERIFY(win.show() && QTest::qWaitForWindowActive(&win.w));
        QTableView* view = win.grid;
        QAbstractItemModel* model = view->model();
        auto cell = [&](int r, int c) { return QString::fromStdString(win.w.app().grid.text(r, c)); };
        win.cd.next.push_back(
            win.dir.write("data/m.mtx", "%%MatrixMarket matrix array real general\n3 3\n1\n2\n3\n4\n5\n6\n7\n8\n9\n"));
        QTest::keyClick(&win.w, Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(win.w.app().st.N, int16_t{3});

        // Rows 1-2, a(i,1) .. a(i,2): grid columns 1..3, view columns 0..2.
        view->setFocus();
        view->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(1, 2)),
                                       QItemSelectionModel::ClearAndSelect);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1\t4\n2\t5"));
        const int opens = win.cd.opens;
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(win.cd.opens, opens + 1);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1\t4\n2\t5"));

        // A spreadsheet's block pasted at a(2,2): b(i) takes the last values, x(i) none.
        QGuiApplication::clipboard()->setText(QStringLiteral("10\t11\t12\r\n13\t14\t15\r\n"));
        view->setCurrentIndex(model->index(1, 2));
        view->selectionModel()->clearSelection();
        QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(cell(2, 3) + ' ' + cell(2, 7) + ' ' + cell(3, 3) + ' ' + cell(3, 7), QStringLiteral("10 12 13 15"));
        QVERIFY(win.boxes.shown.empty());

        auto* txtA = win.get<QLineEdit>("txtA");
        txtA->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("2.5"));
        QTest::keyClick(txtA, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(txtA->text(), QStringLiteral("2.5"));
        QCOMPARE(cell(2, 3), QStringLiteral("10"));
    }

    void messageBoxesCarryTheTitleAndTheirButtonsOnly() {
        QWidget parent;
        QtMessageBoxes boxes(&parent);
        QString seen;  // title, icon and buttons of the box answered last
        auto answer = [&](QMessageBox::StandardButton press) {
            QTimer::singleShot(0, [&, press] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                seen = QStringLiteral("%1 %2 %3").arg(box->windowTitle()).arg(box->icon()).arg(box->standardButtons());
                box->button(press)->click();
            });
        };
        answer(QMessageBox::Ok);
        boxes.message(" Sorry, not correct format of the entered number.");
        QCOMPARE(seen, QStringLiteral("VARNEX_SOLVER %1 %2").arg(QMessageBox::NoIcon).arg(QMessageBox::Ok));
        answer(QMessageBox::No);
        QVERIFY(!boxes.ask_yes_no("Such file exists. Do you want to replace the old file?"));
        QVERIFY(seen.endsWith(QString::number(QMessageBox::Yes | QMessageBox::No)));
    }

    // bcsstk01 in memory (the whole run takes about 0.2 s on a quiet machine) and fs_183_1 connected
    // (thousands of sweeps from x = 0) meet no stop rule early: long enough to be interrupted.
    void escStopsTheRunInBothModes() {
        for (auto [name, command, escape] :
             {std::tuple{"bcsstk01.txt", "Open", 60ms}, {"fs_183_1.txt", "Connect", 300ms}}) {
            const std::string path = test::testdata(name);
            if (path.empty()) QSKIP("the test data folder is absent");
            Shown win;
            win.open(path, command);
            const bool connected = win.w.app().st.DataMode == kModeConnected;
            const Stopped stop = stop_by_escape(win, escape);
            const App& app = win.w.app();
            QVERIFY2(stop.after_esc >= 0 && stop.after_esc < 200, qPrintable(QString::number(stop.after_esc)));
            QCOMPARE(app.last_run.end, RunEnd::Stopped);
            QCOMPARE(app.st.DataMode, connected ? kModeConnected : kModeMemory);
            QCOMPARE(app.last_run.sweeps, app.st.IterCount - 1);
            QVERIFY(app.last_run.timed && !win.get<QLineEdit>("txtTime")->text().isEmpty());
            QCOMPARE(win.get<QLineEdit>("txtEr")->text().toStdString(), single_to_text(app.st.Er));
            // The grid shows the approximation of the last completed sweep.
            QCOMPARE(app.grid.text(1, connected ? 1 : 2 * app.st.N + 3), single_to_text(app.st.X[1]));
            QVERIFY(!stop.notes.isEmpty());
            QCOMPARE(stop.notes[0], QStringLiteral("Esc stops the run"));
            // The run's note gives way to the accuracy report of the stopped run.
            QVERIFY2(connected || win.status().contains(QStringLiteral("sweeps, stopped")), qPrintable(win.status()));
            if (connected) std::filesystem::remove(row_file_path(win.dir.path()));
        }
    }

    // The keys, shortcuts, clicks and close made while a command holds the window are all dropped;
    // the close is carried out once the command has ended.
    void inputDuringACommandIsDroppedAndACloseWaits() {
        Shown win;
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
        Shown win;
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

QTEST_MAIN(FrmMainTest)
#include "frm_main_qtest.moc"
