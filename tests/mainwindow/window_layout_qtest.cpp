// The main window's geometry and its grid as a person reads it, offscreen: the designed layout, the
// grid taking the room of a larger window, columns that show every number whole, tooltips for cut
// cells, equation numbers and the ways to reach x(i).
#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QToolTip>
#include <QtTest>
#include <map>

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

// Where every named control of the client area stands, by name; the grid's own parts are left out.
using Layout = std::map<QString, QRect>;

Layout layout_of(QWidget* client) {
    Layout l;
    QWidget* grid = client->findChild<QWidget*>("msfgData");
    for (QWidget* w : client->findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !grid->isAncestorOf(w))
            l[w->objectName()] = QRect(w->mapTo(client, QPoint(0, 0)), w->size());
    return l;
}

// The layout `was` with the grid dw wider and dh taller and every other control moved down by dh.
// Returns the first control that is elsewhere, or an empty text.
QString misplaced(QWidget* client, const Layout& was, int dw, int dh) {
    for (const auto& [name, got] : layout_of(client)) {
        const auto it = was.find(name);
        if (it == was.end()) continue;
        const QRect want =
            name == QStringLiteral("msfgData") ? it->second.adjusted(0, 0, dw, dh) : it->second.translated(0, dh);
        if (got != want) {
            QString where;
            QDebug(&where) << name << got;
            return where;
        }
    }
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
        QCOMPARE(win.grid->geometry(), QRect(240 / 15, 360 / 15, 9975 / 15, 2535 / 15));  // twips as designed
        const Layout designed = layout_of(client);
        QVERIFY(designed.count("txtEr") && designed.count("Line1") && designed.count("cmdUp(2)"));

        win.w.resize(win.w.width() + 300, win.w.height() + 200);
        QTRY_COMPARE(client->size(), QSize(993, 590));
        QCOMPARE(misplaced(client, designed, 300, 200), QString());

        // Never smaller than designed; back at the designed size, the designed layout again.
        win.w.resize(100, 100);
        QTRY_COMPARE(client->size(), QSize(693, 390));
        QCOMPARE(misplaced(client, designed, 0, 0), QString());

        win.w.showMaximized();
        QTRY_VERIFY(client->height() > 390);
        QCOMPARE(misplaced(client, designed, client->width() - 693, client->height() - 390), QString());
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
