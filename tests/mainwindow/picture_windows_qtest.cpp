// The View menu's picture windows offscreen: the picture of A in memory and connected mode, with the
// value of a single entry under the pointer and the zoom down to single entries; the solution with
// and without a reference; the convergence curves, one point per sweep of "Find  solution" and "Next
// Iteration", the system's file named, the runs told apart and the sweeps whose Er is 0 marked; and
// the main window's commands driving them.
#include <QLabel>
#include <QtTest>
#include <limits>

#include "mainwindow/convergence_window_testing.h"
#include "mainwindow/matrix_view.h"
#include "mainwindow/matrix_window.h"
#include "mainwindow/picture_windows.h"
#include "mainwindow/solution_window_testing.h"
#include "support/window.h"

using namespace varnex;

namespace {

// The widget point at the middle of entry (i, j) of the view's region.
QPointF entry_point(const MatrixView* v, int i, int j) {
    const QRectF pic = v->picture_rect();
    const QRectF r = v->region();
    return {pic.left() + (j - 0.5 - r.left()) * pic.width() / r.width(),
            pic.top() + (i - 0.5 - r.top()) * pic.height() / r.height()};
}

// A picture shown since the spy held `before` signals: perhaps already while the test waited for
// something else.
bool shown_since(QSignalSpy& spy, qsizetype before) { return spy.count() > before || spy.wait(5000); }

}  // namespace

class PictureWindowsTest : public QObject {
    Q_OBJECT
  private slots:

    void matrixPictureShowsEntriesAndZoomsToSingleOnes() {
        App app;
        const int n = 900;  // more entries a side than the picture has pixels
        app.st.N = n;
        app.st.DataMode = kModeMemory;
        app.grid.fill_data(n);
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= n; ++j) app.grid.set_text(i, 2 * j - 1, i == j ? "2" : "0");
        app.grid.set_text(1, 2 * n - 1, "-1234.5");
        app.grid.set_text(n, 1, "x");  // a cell that is not a number
        MatrixWindow w(app);
        QSignalSpy shown(&w, &MatrixWindow::pictureShown);
        QVERIFY(test::shown(w));
        QVERIFY(shown_since(shown, 0));
        MatrixView* v = w.view();
        // A whole-matrix pixel covers a block; its text names the block and its largest magnitude.
        QVERIFY(v->describe_at(entry_point(v, 1, n)).contains("largest |a| = 1234.5"));
        QVERIFY(v->describe_at(entry_point(v, n, 1)).contains("not a number"));
        // Zoomed to a few entries, the cells are single entries with their signed value.
        const qsizetype before = shown.count();
        v->set_region(QRectF(n - 4, 0, 4, 4));
        QVERIFY(shown_since(shown, before));
        QCOMPARE(v->describe_at(entry_point(v, 1, n)), QStringLiteral("a(1,%1) = -1234.5").arg(n));
        // Double-click shows the whole matrix again.
        QTest::mouseDClick(v, Qt::LeftButton, {}, entry_point(v, 2, n).toPoint());
        QCOMPARE(v->region(), QRectF(0, 0, n, n));
    }

    void solutionShowsXAndWithAReferenceTheErrorOfEachComponent() {
        SolutionWindow w;
        QVERIFY(test::shown(w));
        std::vector<float> x{1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN(), 4.0f};
        w.set_solution(x);
        QCOMPARE(SolutionWindowProbe{w}.x_points(), 3);  // the NaN is left out and said so
        QVERIFY(w.findChild<QLabel*>("lblInfo")->text().contains("1 not a number"));
        QCOMPARE(SolutionWindowProbe{w}.error_points(), 0);
        w.set_solution(x, std::vector<double>{1.0, 2.5, 3.0, 4.0});
        QCOMPARE(SolutionWindowProbe{w}.reference_points(), 4);
        QCOMPARE(SolutionWindowProbe{w}.error_points(), 3);  // x(1) = x̂(1) sits at the floor; the NaN's error is left out
        // A reference of another length belongs to another system: not drawn.
        w.set_solution(x, std::vector<double>{1.0, 2.0});
        QCOMPARE(SolutionWindowProbe{w}.reference_points(), 0);
    }

    // The View menu's windows follow the commands on sample1: the picture of A stands through a run and
    // is drawn again when "Accept A(i,j)" changes an entry; x and its reference are drawn; every sweep
    // is a point of the convergence curve, Next Iteration continuing it and the next "Find  solution"
    // starting another; Connect gives the same picture, read from the row file.
    void viewMenuWindowsFollowTheCommands() {
        test::Window win;
        FrmMain& w = win.w;
        QVERIFY(test::shown(w));
        ConvergenceWindow* conv = w.convergenceWindow();
        const ConvergenceWindowProbe probe{*conv};
        win.trigger("Convergence");
        QVERIFY(QTest::qWaitForWindowExposed(conv));
        QCOMPARE(conv->objectName(), QStringLiteral("frmConvergence"));
        QVERIFY(conv->windowTitle().contains("untitled"));
        win.open(win.dir.path() + "/data/sample1.txt");
        QVERIFY(conv->windowTitle().contains("sample1.txt"));

        MatrixWindow* m = w.pictures()->matrix();
        QSignalSpy shown(m, &MatrixWindow::pictureShown);
        win.trigger("Matrix");
        QVERIFY(QTest::qWaitForWindowExposed(m));
        QVERIFY(shown_since(shown, 0));
        const int n = w.app().st.N;
        const QString a11 = QString::fromStdString(w.app().grid.text(1, 1));
        QCOMPARE(m->view()->describe_at(entry_point(m->view(), 1, 1)), QStringLiteral("a(1,1) = %1").arg(a11));
        win.trigger("Solution");
        SolutionWindow* s = w.pictures()->solution();
        QVERIFY(QTest::qWaitForWindowExposed(s));
        qsizetype before = shown.count();
        QTRY_VERIFY(!m->busy());  // the window has settled on its size
        win.click("cmdSolution");
        QVERIFY(win.boxes.shown.empty());
        QCOMPARE(SolutionWindowProbe{*s}.x_points(), n);
        QVERIFY(!m->busy());
        const int sweeps = w.app().last_run.sweeps;
        QCOMPARE(probe.current_points(), sweeps);
        win.click("cmdIter");
        win.click("cmdIter");
        QCOMPARE(probe.current_points(), sweeps + 2);
        win.click("cmdSolution");
        QCOMPARE(probe.current_points(), w.app().last_run.sweeps);

        w.findChild<QLineEdit*>("txtA")->setText("-2.5e3");
        win.click("cmdA");
        QVERIFY(shown_since(shown, before));
        QCOMPARE(m->view()->describe_at(entry_point(m->view(), 1, 1)), QStringLiteral("a(1,1) = -2500"));
        // The reference, when the report gives one, is drawn with the error of each component.
        w.pictures()->set_reference(std::vector<double>(static_cast<std::size_t>(n), 1.0));
        QCOMPARE(SolutionWindowProbe{*s}.reference_points(), n);

        // Connect reads the file, not the grid: the picture of the file again.
        before = shown.count();
        win.open(win.dir.path() + "/data/sample1.txt", "Connect");
        QCOMPARE(w.app().st.DataMode, kModeConnected);
        QVERIFY(shown_since(shown, before));
        QCOMPARE(m->view()->describe_at(entry_point(m->view(), 1, 1)), QStringLiteral("a(1,1) = %1").arg(a11));
        QVERIFY(m->findChild<QLabel*>("lblInfo")->text().contains("row file"));
        QVERIFY(conv->windowTitle().contains("sample1.txt (connected)"));
        w.findChild<QLineEdit*>("txtN")->setText("1");
        win.click("cmdN");
        QVERIFY(conv->windowTitle().contains("untitled"));  // a typed system
    }

    void windowOpenedAfterALongRunDrawsItThinnedToTheEnd() {
        // Regression: growing the sweep axis from 1 to 32 767 at once once laid out a label per sweep
        // and took minutes.
        ConvergenceHistory history;
        ConvergenceWindow conv(history);
        const ConvergenceWindowProbe probe{conv};
        history.command_starting(true, 1);
        for (int s = 1; s <= 32767; ++s) conv.sweep_done(s == 32767 ? 0.0f : 1000.0f / float(s));
        QVERIFY(test::shown(conv));
        QVERIFY(probe.current_points() > 100 && probe.current_points() < 2000);
        QCOMPARE(probe.zero_marks(), 1);  // the last sweep survives the thinning
    }

    // Five long runs, then a run of four sweeps: the axis fits the short run, the earlier ones are cut
    // at its edge with their zeros out of view, and every run has a hue of its own, none grey.
    void aShortRunAfterLongOnesFitsTheAxisInDistinctHues() {
        ConvergenceHistory history;
        float eps = 0.5f;
        history.watch_eps(&eps);
        ConvergenceWindow conv(history);
        const ConvergenceWindowProbe probe{conv};
        QVERIFY(test::shown(conv));
        for (int run = 0; run < 5; ++run) {
            history.command_starting(true, 1);
            for (int s = 1; s <= 3000; ++s) conv.sweep_done(s == 2000 ? 0.0f : 100.0f / float(s + run));
        }
        eps = 1e-3f;
        history.command_starting(true, 1);
        for (float er : {8.0f, 1.0f, 0.1f, 5e-4f}) conv.sweep_done(er);
        conv.before_repaint();
        QVERIFY(probe.sweep_axis_max() >= 4 && probe.sweep_axis_max() <= 10 && probe.zero_marks() == 0);
        QVERIFY(probe.points(0).size() >= 4 && probe.points(0).back().x() <= probe.sweep_axis_max() + 1);
        QCOMPARE(probe.eps_line(), double(1e-3f));  // the desired accuracy of the current run
        QSet<QRgb> colours;
        for (std::size_t i = 0; i < 6; ++i) {
            const QColor c = probe.colour(i);
            QVERIFY(c.red() != c.green() || c.green() != c.blue());
            colours.insert(c.rgb());
        }
        QCOMPARE(colours.size(), 6);
        conv.showAllRuns(true);  // the axis takes the longest run and every zero
        QVERIFY(probe.sweep_axis_max() >= 3000 && probe.zero_marks() == 5);
    }
};

QTEST_MAIN(PictureWindowsTest)
#include "picture_windows_qtest.moc"
