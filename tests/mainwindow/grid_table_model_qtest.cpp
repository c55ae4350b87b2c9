// The grid's item model: what it shows where, the change signals it gives (at once or gathered until a
// flush), under Qt's own model checker and under a real table view.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QTableView>
#include <QToolTip>
#include <QtTest>
#include <utility>

#include "mainwindow/grid_table_model.h"
#include "mainwindow/grid_view.h"

namespace varnex {

// Counts the cell reads of a view, to see that it reads only what it shows.
class CountingModel : public GridTableModel {
  public:
    using GridTableModel::GridTableModel;
    mutable long long reads = 0;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        if (role == Qt::DisplayRole) ++reads;
        return GridTableModel::data(index, role);
    }
};

class GridTableModelTest : public QObject {
    Q_OBJECT

  private slots:
    void showsTheBodyInCellsAndTheFixedRowAndColumnInHeaders() {
        GridModel grid;
        { GridTableModel gone(grid); }
        QCOMPARE(grid.observer(), nullptr);  // a destroyed model is no longer told about changes
        GridTableModel model(grid);
        grid.fill_data(2);
        QCOMPARE(model.columnCount(), 7);
        QCOMPARE(model.cornerText(), QStringLiteral("System"));
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("a(1,1)"));
        QCOMPARE(model.headerData(6, Qt::Horizontal).toString(), QStringLiteral("Solution"));
        grid.fill_x(3, {0.0f, 0.5f, -2.0f, 1e20f});
        QCOMPARE(model.cornerText(), QStringLiteral("Solution"));
        QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("X(3)="));
    }

    // Qt's model checker watches every change (and fails the test itself).
    void announcesWritesAtOnceOrGatheredUntilFlush() {
        GridModel grid;
        GridTableModel model(grid);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Every change signal, in order: "data r1,c1-r2,c2", "hh a-b" and "vh a-b" (header sections),
        // "corner", "reset".
        QStringList seen;
        auto pos = [](const QModelIndex& i) { return QStringLiteral("%1,%2").arg(i.row()).arg(i.column()); };
        connect(&model, &QAbstractItemModel::dataChanged,
                [&](const QModelIndex& a, const QModelIndex& b) { seen << "data " + pos(a) + "-" + pos(b); });
        connect(&model, &QAbstractItemModel::headerDataChanged, [&](Qt::Orientation o, int a, int b) {
            seen << QStringLiteral("%1 %2-%3").arg(o == Qt::Horizontal ? "hh" : "vh").arg(a).arg(b);
        });
        connect(&model, &GridTableModel::cornerChanged, [&] { seen << "corner"; });
        connect(&model, &QAbstractItemModel::modelReset, [&] { seen << "reset"; });
        grid.fill_data(50);
        grid.set_text(2, 5, "1");
        QCOMPARE(std::exchange(seen, {}), (QStringList{"reset", "corner", "data 1,4-1,4"}));

        // Deferred, a sweep over the approximation column is one dataChanged at flush.
        model.set_deferred(true);
        for (int i = 1; i <= 50; ++i) grid.set_text(i, 103, "0.5");
        QVERIFY(seen.isEmpty());
        model.flush();
        QCOMPARE(std::exchange(seen, {}), (QStringList{"data 0,102-49,102"}));

        // A layout change is told at once and supersedes pending cells; leaving deferral flushes.
        grid.set_text(4, 4, "w");
        grid.fill_data(2);
        model.flush();
        grid.set_text(1, 7, "x");
        model.set_deferred(false);
        QCOMPARE(seen, (QStringList{"reset", "corner", "data 0,6-0,6"}));
        grid.fill_x(4, {0, 1, 2, 3, 4});
        grid.fill_data(0);  // no body rows left
        grid.clear();
    }

    void resetAskedForDuringAResetEndsWithTheFinalCounts() {
        GridModel grid;
        GridTableModel model(grid);
        int resets = 0;
        // A view that reacts to the first reset by laying the grid out again, as a command from a
        // handler would.
        connect(&model, &QAbstractItemModel::modelReset, [&] {
            if (++resets == 1) grid.fill_x(1, {0, 1});
        });
        grid.fill_data(4);
        QCOMPARE(resets, 2);
        QCOMPARE(model.columnCount(), 1);
        QCOMPARE(model.rowCount(), 1);
    }

    // A view of an order-2000 layout (2 000 rows of 4 003 cells) reads only the cells it shows, also
    // with the window's column widths, the jumps to x(i) and the tooltip that shows a cut cell whole.
    void view_reads_large_layout_lazily() {
        GridModel grid;
        CountingModel model(grid);
        QTableView view;
        view.resize(800, 400);
        view.setModel(&model);
        set_up_grid_view(&view);
        view.show();
        grid.fill_data(2000);
        QCoreApplication::processEvents();
        view.scrollTo(model.index(1000, 4000));
        QCoreApplication::processEvents();
        view.viewport()->repaint();
        QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(view.currentIndex(), model.index(1999, 4002));
        QVERIFY(go_to_x(&view, 1000));
        grid.set_text(1000, 4003, "123456789.123456789012");  // kept as typed: wider than its column
        QCoreApplication::processEvents();
        const QPoint at = view.visualRect(view.currentIndex()).center();
        QHelpEvent tip(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view.viewport(), &tip);
        QCOMPARE(QToolTip::text(), QStringLiteral("123456789.123456789012"));  // the cut cell's whole text
        view.viewport()->repaint();
        QVERIFY(model.reads > 0);
        QVERIFY2(model.reads < 20000, qPrintable(QString::number(model.reads)));
    }
};

}  // namespace varnex

QTEST_MAIN(varnex::GridTableModelTest)
#include "grid_table_model_qtest.moc"
