// The convergence window through the real main window, offscreen: opened from the View menu, it
// follows "Find  solution" and "Next Iteration" with one point per sweep, names the system's file,
// and marks the sweeps whose Er is 0.
#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "mainwindow/convergence_window.h"
#include "mainwindow/frm_main.h"
#include "support/window.h"

using namespace varnex;

class ConvergenceWindowTest : public QObject {
    Q_OBJECT
  private slots:

    void followsEverySweepOfTheRunsOnASampleSystem() {
        test::Window win;
        FrmMain& w = win.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        ConvergenceWindow* conv = w.convergenceWindow();
        QVERIFY(!conv->isVisible());

        win.trigger("Convergence");
        QVERIFY(QTest::qWaitForWindowExposed(conv));
        QCOMPARE(conv->objectName(), QStringLiteral("frmConvergence"));
        QVERIFY(conv->windowTitle().contains("untitled"));

        // sample2 to a tight accuracy: a few hundred sweeps after the elimination, each one a point.
        win.open(win.dir.path() + "/data/sample2.txt");
        QVERIFY(conv->windowTitle().contains("sample2.txt"));
        w.findChild<QLineEdit*>("txtEps")->setText("5e-5");
        auto* solution = w.findChild<QPushButton*>("cmdSolution");
        QTest::mouseClick(solution, Qt::LeftButton);
        const int sweeps = w.app().last_run.sweeps;
        QVERIFY(sweeps > 100);
        QVERIFY(win.boxes.shown.empty());
        QCOMPARE(conv->currentPointCount(), sweeps);

        // Next Iteration continues that curve; the next Find  solution starts a new one.
        win.click("cmdIter");
        QCOMPARE(conv->currentPointCount(), sweeps + 1);
        QTest::mouseClick(solution, Qt::LeftButton);
        QCOMPARE(conv->currentPointCount(), w.app().last_run.sweeps);
        // After a new Connect, Next Iteration sets a run up: a curve of its own.
        win.open(win.dir.path() + "/data/sample1.txt", "Connect");
        win.click("cmdIter");
        QCOMPARE(conv->currentPointCount(), 1);
        QVERIFY(conv->windowTitle().contains("sample1.txt"));

        // A typed system is untitled.
        w.findChild<QLineEdit*>("txtN")->setText("1");
        win.click("cmdN");
        QVERIFY(conv->windowTitle().contains("untitled"));
    }

    void zeroErIsDrawnAtTheFloorAndMarked() {
        ConvergenceHistory history;
        ConvergenceWindow conv(history);
        conv.show();
        QVERIFY(QTest::qWaitForWindowExposed(&conv));
        history.command_starting(true, 1);
        for (float er : {4.0f, 0.0f, 1e-3f, 0.0f}) conv.sweep_done(er);
        conv.before_repaint();
        QCOMPARE(conv.currentPointCount(), 4);
        QCOMPARE(conv.zeroMarkCount(), 2);
        // An earlier run's zeros stay marked when the next run begins: those in view while the axis
        // fits the one sweep of the new run, all of them when every run is shown.
        history.command_starting(true, 5);
        conv.sweep_done(2.0f);
        conv.before_repaint();
        QCOMPARE(conv.currentPointCount(), 1);
        QCOMPARE(conv.zeroMarkCount(), 1);
        conv.showAllRuns(true);
        QCOMPARE(conv.zeroMarkCount(), 2);
    }

    void windowOpenedAfterALongRunDrawsItThinnedToTheEnd() {
        // Regression: growing the sweep axis from 1 to 32 767 at once once laid out a label per sweep
        // and took minutes.
        ConvergenceHistory history;
        ConvergenceWindow conv(history);
        history.command_starting(true, 1);
        for (int s = 1; s <= 32767; ++s) conv.sweep_done(s == 32767 ? 0.0f : 1000.0f / float(s));
        conv.show();
        QVERIFY(QTest::qWaitForWindowExposed(&conv));
        QVERIFY(conv.currentPointCount() > 100 && conv.currentPointCount() < 2000);
        QCOMPARE(conv.zeroMarkCount(), 1);  // the last sweep survives the thinning
    }

    void aShortRunAfterALongOneFitsTheAxisInDistinctHuesWithShortNames() {
        ConvergenceHistory history;
        float eps = 0.5f;
        history.watch_eps(&eps);
        ConvergenceWindow conv(history);
        QVERIFY(conv.windowFlags().testFlag(Qt::Tool));  // stays above the main window
        conv.show();
        QVERIFY(QTest::qWaitForWindowExposed(&conv));
        // Five long runs of a file with a long name, then a run of four sweeps.
        history.set_system("a_system_file_with_a_rather_long_name.txt");
        for (int run = 0; run < 5; ++run) {
            history.command_starting(true, 1);
            for (int s = 1; s <= 3000; ++s) conv.sweep_done(100.0f / float(s + run));
            history.command_ended("sweep counter limit");
        }
        eps = 1e-3f;
        history.command_starting(true, 1);
        for (float er : {8.0f, 1.0f, 0.1f, 5e-4f}) conv.sweep_done(er);
        conv.before_repaint();
        // The axis fits the four sweeps; the earlier runs are cut at its edge.
        QVERIFY(conv.sweepAxisMax() >= 4 && conv.sweepAxisMax() <= 10);
        for (std::size_t i = 0; i < 5; ++i) {
            const QList<QPointF> points = conv.curvePoints(i);
            QVERIFY(points.size() >= 4);
            QVERIFY(points.back().x() <= conv.sweepAxisMax() + 1);
        }
        // Every run's curve in a hue of its own, none grey; short names, the file in the tooltip.
        QSet<QRgb> colours;
        for (std::size_t i = 0; i < 6; ++i) {
            const QColor c = conv.curveColour(i);
            QVERIFY(c.red() != c.green() || c.green() != c.blue());
            colours.insert(c.rgb());
            QVERIFY(conv.curveName(i).size() <= 16);
            QVERIFY(conv.curveToolTip(i).contains("a_system_file_with_a_rather_long_name.txt"));
        }
        QCOMPARE(colours.size(), 6);
        QVERIFY(conv.curveToolTip(0).contains("3000 sweeps, sweep counter limit"));
        // The desired accuracy of the current run is drawn, inside the axis.
        QCOMPARE(conv.epsLine(), double(1e-3f));
        // All runs: the axis takes the longest run; a run keeps its hue when the next one begins.
        conv.showAllRuns(true);
        QVERIFY(conv.sweepAxisMax() >= 3000);
        const QColor last_earlier = conv.curveColour(4);
        history.command_starting(true, 1);
        conv.sweep_done(1.0f);
        conv.before_repaint();
        QCOMPARE(conv.curveColour(3), last_earlier);
        QVERIFY(conv.curveColour(4) != last_earlier);
    }

    void theWheelZoomsAndADoubleClickFitsAgain() {
        ConvergenceHistory history;
        ConvergenceWindow conv(history);
        conv.show();
        QVERIFY(QTest::qWaitForWindowExposed(&conv));
        history.command_starting(true, 1);
        for (int s = 1; s <= 200; ++s) conv.sweep_done(10.0f / float(s));
        conv.before_repaint();
        const double fitted = conv.sweepAxisMax();
        auto* view = conv.findChild<QAbstractScrollArea*>("chvConvergence");
        const QPoint mid = view->viewport()->rect().center();
        QWheelEvent wheel(mid, view->viewport()->mapToGlobal(mid), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
        QVERIFY(conv.sweepAxisMax() - conv.sweepAxisMin() < fitted * 0.8);
        // More sweeps of the same run leave the zoom alone.
        const double zoomed_max = conv.sweepAxisMax();
        conv.sweep_done(0.01f);
        conv.before_repaint();
        QCOMPARE(conv.sweepAxisMax(), zoomed_max);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, mid);
        QCOMPARE(conv.sweepAxisMin(), 0.0);
        QVERIFY(conv.sweepAxisMax() >= 201 && conv.sweepAxisMax() <= 300);
    }
};

QTEST_MAIN(ConvergenceWindowTest)
#include "convergence_window_qtest.moc"
