// The grid's item model under Qt's own model checker and under a real table view.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QTableView>
#include <QtTest>

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
    // Every kind of change the program makes, watched by the checker (which fails the test itself).
    void passes_the_model_checker() {
        GridModel grid;
        GridTableModel model(grid);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.fill_data(3);
        grid.set_text(1, 1, "4");
        grid.set_text(0, 0, "corner");
        grid.set_text(2, 0, "side");
        grid.set_cols(9);
        grid.set_cols(1);  // no body columns left
        grid.set_rows(1);
        grid.fill_x(4, {0, 1, 2, 3, 4});
        model.set_deferred(true);
        for (int i = 1; i <= 4; ++i) grid.set_text(i, 1, "5");
        model.set_deferred(false);
        grid.clear();
    }

    // A view of an order-2000 layout (2 000 rows of 4 003 cells) reads only the cells it shows, also
    // with the window's column widths, the jumps to x(i) and a tooltip.
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
        QCoreApplication::processEvents();
        const QPoint at = view.visualRect(view.currentIndex()).center();
        QHelpEvent tip(QEvent::ToolTip, at, view.viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view.viewport(), &tip);
        view.viewport()->repaint();
        QVERIFY(model.reads > 0);
        QVERIFY2(model.reads < 20000, qPrintable(QString::number(model.reads)));
    }
};

}  // namespace varnex

QTEST_MAIN(varnex::GridTableModelTest)
#include "grid_table_model_qtest.moc"
