// The grid's item model under Qt's own model checker.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QtTest>

#include "mainwindow/grid_table_model.h"

namespace varnex {

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
};

}  // namespace varnex

QTEST_MAIN(varnex::GridTableModelTest)
#include "grid_table_model_qtest.moc"
