// The main window's geometry and its grid as a person reads it, offscreen: the designed layout, the
// grid taking the room of a larger window, columns that show every number whole, tooltips for cut
// cells, equation numbers and the ways to reach x(i).
#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QToolTip>
#include <QtTest>

#include "mainwindow/frm_main.h"
#include "mainwindow/grid_view.h"
#include "support/window.h"

using namespace varnex;

namespace {

// The window shown, with N accepted by its box and button.
struct Window : test::Window {
    Window() { w.show(); }
    void accept_n(const char* n) {
        get<QLineEdit>("txtN")->setText(n);
        click("cmdN");
    }
    QModelIndex current() const { return grid->currentIndex(); }
};

struct Place {
    const char* name;
    int left, top, width, height;  // twips, as designed; 15 twips make a pixel
    bool label;                    // a label's caption may run on past its designed width
};

// clang-format off
const Place kDesigned[] = {
    {"msfgData", 240, 360, 9975, 2535, false},
    {"lblN", 480, 3120, 375, 255, true}, {"txtN", 960, 3120, 735, 285, false}, {"cmdN", 4800, 3000, 1095, 375, false},
    {"lblA", 480, 3840, 255, 375, true}, {"frmIndex(0)", 840, 3600, 735, 975, false},
    {"lblA1", 1680, 3840, 135, 255, true}, {"frmIndex(1)", 1920, 3600, 735, 975, false},
    {"lblA2", 2760, 3840, 255, 375, true}, {"txtA", 3120, 3720, 1335, 375, false},
    {"cmdA", 4800, 3720, 1095, 375, false}, {"lblB", 480, 5040, 255, 255, true},
    {"frmIndex(2)", 840, 4800, 735, 975, false}, {"lblB1", 1680, 5040, 255, 255, true},
    {"txtB", 3120, 4920, 1335, 375, false}, {"cmdB", 4800, 4920, 1095, 375, false},
    {"cmdSolution", 7200, 3120, 1335, 375, false}, {"cmdIter", 7200, 3600, 1335, 375, false},
    {"lblEps", 6480, 4320, 1455, 255, true}, {"txtEps", 8280, 4200, 1935, 375, false},
    {"lblTime", 6480, 4800, 1455, 375, false}, {"txtTime", 8280, 4800, 1815, 375, false},
    {"lblEr", 6480, 5520, 1335, 255, true}, {"txtEr", 8280, 5400, 1935, 375, false},
};
// clang-format on

// Every designed control placed at its designed pixels, moved down by dh; the grid dw wider and dh
// taller. Returns the first control that is elsewhere, or an empty text.
QString misplaced(Window& win, int dw, int dh) {
    QWidget* client = win.get("client");
    for (const Place& p : kDesigned) {
        QWidget* w = win.get(p.name);
        const bool grid = QByteArray(p.name) == "msfgData";
        QRect want(p.left / 15, p.top / 15 + (grid ? 0 : dh), p.width / 15 + (grid ? dw : 0),
                   p.height / 15 + (grid ? dh : 0));
        QRect got(w->mapTo(client, QPoint(0, 0)), w->size());
        if (p.label && got.width() >= want.width()) want.setWidth(got.width());
        if (got != want)
            return QStringLiteral("%1 at %2,%3 %4x%5")
                .arg(p.name)
                .arg(got.x())
                .arg(got.y())
                .arg(got.width())
                .arg(got.height());
    }
    const QRect line(win.get("Line1")->mapTo(client, QPoint(0, 0)), win.get("Line1")->size());
    if (line != QRect(6240 / 15 - 1, 3000 / 15 + dh, 3, 2760 / 15)) return QStringLiteral("Line1");
    // The controls inside the selectors keep their places in their frames.
    if (win.get("cmdUp(2)")->geometry() != QRect(360 / 15, 600 / 15, 255 / 15, 255 / 15))
        return QStringLiteral("cmdUp(2)");
    return {};
}

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void designedLayoutHoldsAndControlsFollowTheGridsLowerEdge() {
        Window win;
        QWidget* client = win.get("client");
        QCOMPARE(client->size(), QSize(693, 390));
        QCOMPARE(misplaced(win, 0, 0), QString());

        win.w.resize(win.w.width() + 300, win.w.height() + 200);
        QTRY_COMPARE(client->size(), QSize(993, 590));
        QCOMPARE(misplaced(win, 300, 200), QString());

        // Never smaller than designed; back at the designed size, the designed layout again.
        win.w.resize(100, 100);
        QTRY_COMPARE(client->size(), QSize(693, 390));
        QCOMPARE(misplaced(win, 0, 0), QString());

        win.w.showMaximized();
        QTRY_VERIFY(client->height() > 390);
        QCOMPARE(misplaced(win, client->width() - 693, client->height() - 390), QString());
    }

    void columnsShowEveryNumberWholeAndWidenByDragging() {
        Window win;
        win.accept_n("2");
        // The widest texts of the number-to-text conversion, in the first columns of the view.
        const char* widest[] = {"-8.888888E+38", "-1.234568E+07", "-0.0001234568", "-4.444444E-38"};
        for (int c = 0; c < 4; ++c) win.w.app().grid.set_text(1, c + 1, widest[c]);
        for (int c = 0; c < 4; ++c)
            QVERIFY2(win.grid->columnWidth(c) >= static_cast<QAbstractItemView*>(win.grid)->sizeHintForColumn(c),
                     widest[c]);

        QHeaderView* header = win.grid->horizontalHeader();
        const int before = header->sectionSize(0);
        const int edge = header->sectionViewportPosition(1) - 1;
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, 5));
        QTest::mouseMove(header->viewport(), QPoint(edge + 40, 5));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge + 40, 5));
        QCOMPARE(header->sectionSize(0), before + 40);
    }

    void aCutCellShowsItsWholeTextInATooltip() {
        Window win;
        win.accept_n("2");
        const QString typed = QStringLiteral("123456789.123456789012");  // kept as typed by the entry
        win.w.app().grid.set_text(1, 1, typed.toStdString());
        win.w.app().grid.set_text(1, 3, "2");
        auto tip_at = [&](int row, int col) {
            QToolTip::hideText();
            const QPoint at = win.grid->visualRect(win.grid->model()->index(row, col)).center();
            QHelpEvent help(QEvent::ToolTip, at, win.grid->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(win.grid->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tip_at(0, 2), QString());
        QCOMPARE(tip_at(0, 0), typed);
        QToolTip::hideText();
    }

    void rowsShowTheirNumberAndXiIsOneStepAway() {
        Window win;
        QAbstractItemModel* model = win.grid->model();
        QCOMPARE(model->headerData(0, Qt::Vertical).toString(), QString());  // the designed empty grid
        win.accept_n("300");
        QCOMPARE(model->headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
        QCOMPARE(model->headerData(299, Qt::Vertical).toString(), QStringLiteral("300"));

        const int x_col = model->columnCount() - 1;  // 2N + 3 in the grid, less the fixed column
        win.grid->setFocus();
        QTest::keyClick(win.grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(win.current(), model->index(299, x_col));
        QTest::keyClick(win.grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(win.current(), model->index(0, 0));

        auto* go = win.w.findChild<QLineEdit*>("txtGoTo");
        go->setText("150");
        QTest::keyClick(go, Qt::Key_Return);
        QCOMPARE(win.current(), model->index(149, x_col));
        QVERIFY(win.w.focusWidget() == win.grid &&
                win.grid->viewport()->rect().intersects(win.grid->visualRect(win.current())));
        for (const char* bad : {"0", "301", "abc"}) {
            go->setText(bad);
            QTest::keyClick(go, Qt::Key_Return);
        }
        QCOMPARE(win.boxes.shown.size(), std::size_t{3});
        QCOMPARE(win.boxes.shown[2], std::string(" Sorry, not correct format of the entered number."));
        QCOMPARE(win.current(), model->index(149, x_col));
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_qtest.moc"
