// The matrix and solution windows offscreen: the picture of A in memory and connected mode, with the
// value of a single entry under the pointer and the zoom down to single entries; the solution with
// and without a reference; and the main window's View menu and commands driving both.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <limits>

#include "core/app.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/matrix_view.h"
#include "mainwindow/matrix_window.h"
#include "mainwindow/picture_windows.h"
#include "mainwindow/solution_window.h"
#include "support/fakes.h"

using namespace varnex;

namespace {

// The widget point at the middle of entry (i, j) of the view's region.
QPointF entry_point(const MatrixView* v, int i, int j) {
    const QRectF pic = v->picture_rect();
    const QRectF r = v->region();
    return {pic.left() + (j - 0.5 - r.left()) * pic.width() / r.width(),
            pic.top() + (i - 0.5 - r.top()) * pic.height() / r.height()};
}

bool wait_picture(MatrixWindow& w) {
    QSignalSpy shown(&w, &MatrixWindow::pictureShown);
    return shown.wait(5000);
}

}  // namespace

class PictureWindowsTest : public QObject {
    Q_OBJECT
    std::filesystem::path cwd_;

  private slots:
    void init() { cwd_ = std::filesystem::current_path(); }
    void cleanup() { std::filesystem::current_path(cwd_); }

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
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(wait_picture(w));
        MatrixView* v = w.view();
        // A whole-matrix pixel covers a block; its text names the block and its largest magnitude.
        QVERIFY(v->describe_at(entry_point(v, 1, n)).contains("largest |a| = 1234.5"));
        QVERIFY(v->describe_at(entry_point(v, n, 1)).contains("not a number"));
        // Zoomed to a few entries, the cells are single entries with their signed value.
        v->set_region(QRectF(n - 4, 0, 4, 4));
        QVERIFY(wait_picture(w));
        QCOMPARE(v->describe_at(entry_point(v, 1, n)), QStringLiteral("a(1,%1) = -1234.5").arg(n));
        QCOMPARE(v->describe_at(entry_point(v, 2, n)), QStringLiteral("a(2,%1) = 0").arg(n));
        // Double-click shows the whole matrix again.
        QTest::mouseDClick(v, Qt::LeftButton, {}, entry_point(v, 2, n).toPoint());
        QCOMPARE(v->region(), QRectF(0, 0, n, n));
    }
};

QTEST_MAIN(PictureWindowsTest)
#include "picture_windows_qtest.moc"
