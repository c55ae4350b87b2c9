// The verdict as a person meets it in the real main window: whole at the start of the status bar at
// the designed size, the whole report in the bar's tooltip, View, Accuracy with the report and the
// components farthest from the reference, and Export's proposed names.
#include <QAction>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QtTest>

#include "mainwindow/frm_main.h"
#include "mainwindow/picture_windows.h"
#include "mainwindow/solution_window.h"
#include "support/window.h"

using namespace varnex;

namespace {

struct Window : test::Window {
    QStatusBar* bar = w.statusBar();

    Window() { QVERIFY(show()); }
    // Opens or connects the system file with `text`, runs "Find  solution" and waits for the report.
    bool solve(const char* command, const std::string& name, const std::string& text) {
        open(dir.write("data/" + name, text), command);
        click("cmdSolution");
        return QTest::qWaitFor([&] { return bar->toolTip().contains(QStringLiteral("Verdict: ")); }, 20000);
    }
};

}  // namespace

class AccuracyWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void verdictFitsTheStatusBarAfterEachTestSystem() {
        const std::string data = test::testdata_dir();
        if (data.empty()) QSKIP("no test data");
        for (auto [name, command] : {std::pair{"494_bus", "Open"},
                                     {"bcsstk01", "Open"},
                                     {"bfwa62", "Open"},
                                     {"fs_183_1", "Open"},
                                     {"impcol_a", "Open"},
                                     {"west0067", "Open"},
                                     {"fs_183_1", "Connect"},
                                     {"west0067", "Connect"}}) {
            Window win;
            QVERIFY(win.solve(command, std::string(name) + ".txt", test::read_file(data + "/" + name + ".txt")));
            // The verdict comes first and whole; what follows it only in whole items.
            const QString shown = win.bar->currentMessage();
            QString verdict = win.bar->toolTip().section('\n', 0, 0).mid(9);  // after "Verdict: "
            verdict.truncate(verdict.lastIndexOf(QStringLiteral(" (")));
            QVERIFY2(shown.startsWith(verdict), qPrintable(shown + " | " + verdict));
            // Whole items only, and the wall time among them.
            QVERIFY2(QRegularExpression(QStringLiteral("^[^\u00b7]*( \u00b7 \\d+ ms)( \u00b7 [^\u00b7]+)*$"))
                         .match(shown)
                         .hasMatch(),
                     qPrintable(shown));
            QVERIFY(win.bar->toolTip().contains(QStringLiteral("Reference solution: ")));
            // A wider window shows more of the line, a narrower one less, and the verdict still.
            win.w.resize(win.w.width() * 2, win.w.height());
            QTRY_VERIFY(win.bar->currentMessage().size() >= shown.size());
            QVERIFY(win.bar->currentMessage().startsWith(verdict));
        }
    }

    void accuracyWindowShowsTheReportAndTheFarthestComponents() {
        Window win;
        // The elimination's pivot is the largest signed entry: it stops at column 2 of this system.
        QVERIFY(win.solve("Open", "zp.txt", "2 1 0 4\r\n1 0.5 1 5\r\n1 -1 0 -1\r\n"));
        win.trigger("Accuracy");
        auto* view = win.w.findChild<QTextBrowser*>("txtAccuracy");
        QVERIFY(view && view->isVisible() && win.get("frmAccuracy"));
        const QString text = view->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("Reason: zero_pivot")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("column 2")));
        QVERIFY(text.contains(QStringLiteral("farthest from the reference")));
        // The text can be selected and copied.
        view->selectAll();
        QVERIFY(view->textCursor().hasSelection());
        QVERIFY(view->textInteractionFlags() & Qt::TextSelectableByMouse);
        // View, Solution draws the reference beside x.
        win.w.pictures()->show_solution();
        QTRY_COMPARE(win.w.pictures()->solution()->referencePointCount(), 3);
    }

    void exportsProposeNamesBesideTheSystemFile() {
        Window win;
        QVERIFY(win.solve("Open", "zp.txt", "2 1 0 4\r\n1 0.5 1 5\r\n1 -1 0 -1\r\n"));
        win.trigger("ExportSolution");  // the fake dialog is cancelled
        QVERIFY(!win.cd.offered.empty());
        QCOMPARE(QString::fromStdString(win.cd.offered.back()), QStringLiteral("zp_x.csv"));
        const std::string out = win.dir.path() + "/data/zp_x_accurate.csv";
        win.open(out, "ExportAccurate");
        QCOMPARE(QString::fromStdString(win.cd.offered.back()), QStringLiteral("zp_x_accurate.csv"));
        QCOMPARE(QString::fromStdString(test::read_file(out)), QStringLiteral("1\r\n2\r\n3\r\n"));
    }
};

QTEST_MAIN(AccuracyWindowTest)
#include "accuracy_window_qtest.moc"
