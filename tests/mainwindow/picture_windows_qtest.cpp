// The matrix and solution windows offscreen: the picture of A in memory and connected mode, with the
// value of a single entry under the pointer and the zoom down to single entries; the solution with
// and without a reference; and the main window's View menu and commands driving both.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <limits>

#include "commands/app.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/matrix_view.h"
#include "mainwindow/matrix_window.h"
#include "mainwindow/picture_windows.h"
#include "mainwindow/solution_window.h"
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
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
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
        QCOMPARE(v->describe_at(entry_point(v, 2, n)), QStringLiteral("a(2,%1) = 0").arg(n));
        // Double-click shows the whole matrix again.
        QTest::mouseDClick(v, Qt::LeftButton, {}, entry_point(v, 2, n).toPoint());
        QCOMPARE(v->region(), QRectF(0, 0, n, n));
    }

    void solutionShowsXAndWithAReferenceTheErrorOfEachComponent() {
        SolutionWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        std::vector<float> x{1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN(), 4.0f};
        w.set_solution(x);
        QCOMPARE(w.xPointCount(), 3);  // the NaN is left out and said so
        QVERIFY(w.findChild<QLabel*>("lblInfo")->text().contains("1 not a number"));
        QCOMPARE(w.referencePointCount(), 0);
        QCOMPARE(w.errorPointCount(), 0);
        w.set_solution(x, std::vector<double>{1.0, 2.5, 3.0, 4.0});
        QCOMPARE(w.referencePointCount(), 4);
        QCOMPARE(w.errorPointCount(), 3);  // x(1) = x̂(1) sits at the floor; the NaN's error is left out
        // A reference of another length belongs to another system: not drawn.
        w.set_solution(x, std::vector<double>{1.0, 2.0});
        QCOMPARE(w.referencePointCount(), 0);
        // Thousands of components are reduced to what a pixel column shows, keeping the extremes.
        std::vector<float> many(16381, 1.0f);
        many[7000] = -50.0f;
        w.set_solution(many);
        QVERIFY(w.xPointCount() < 2100);
    }

    void viewMenuOpensBothPicturesWhichFollowTheCommands() {
        test::Window win;
        FrmMain& w = win.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        win.open(win.dir.path() + "/data/sample1.txt");
        MatrixWindow* m = w.pictures()->matrix();
        QSignalSpy shown(m, &MatrixWindow::pictureShown);
        win.trigger("Matrix");
        QVERIFY(QTest::qWaitForWindowExposed(m));
        QVERIFY(shown_since(shown, 0));
        const int n = w.app().st.N;
        const QString a11 = QString::fromStdString(w.app().grid.text(1, 1));
        QCOMPARE(m->view()->describe_at(entry_point(m->view(), 1, 1)), QStringLiteral("a(1,1) = %1").arg(a11));

        // A run with both windows open: the solution shows x; the run leaves A alone, so the
        // picture stands. "Accept A(i,j)" changes an entry, and the picture is drawn again.
        win.trigger("Solution");
        SolutionWindow* s = w.pictures()->solution();
        QVERIFY(QTest::qWaitForWindowExposed(s));
        qsizetype before = shown.count();
        QTRY_VERIFY(!m->busy());  // the window has settled on its size
        win.click("cmdSolution");
        QVERIFY(win.boxes.shown.empty());
        QCOMPARE(s->xPointCount(), n);
        QVERIFY(!m->busy());
        w.findChild<QLineEdit*>("txtA")->setText("-2.5e3");
        win.click("cmdA");
        QVERIFY(win.boxes.shown.empty());
        QVERIFY(shown_since(shown, before));
        QCOMPARE(m->view()->describe_at(entry_point(m->view(), 1, 1)), QStringLiteral("a(1,1) = -2500"));
        // Connect below reads the file, not the grid.
        // The reference, when the report gives one, is drawn with the error of each component.
        w.pictures()->set_reference(std::vector<double>(static_cast<std::size_t>(n), 1.0));
        QCOMPARE(s->referencePointCount(), n);

        // Connected mode: the same system read from the row file gives the same picture.
        win.cd.next.push_back(win.dir.path() + "/data/sample1.txt");
        before = shown.count();
        win.trigger("Connect");
        QCOMPARE(w.app().st.DataMode, kModeConnected);
        QVERIFY(shown_since(shown, before));
        QCOMPARE(m->view()->describe_at(entry_point(m->view(), 1, 1)), QStringLiteral("a(1,1) = %1").arg(a11));
        QVERIFY(m->findChild<QLabel*>("lblInfo")->text().contains("row file"));
    }
};

QTEST_MAIN(PictureWindowsTest)
#include "picture_windows_qtest.moc"
