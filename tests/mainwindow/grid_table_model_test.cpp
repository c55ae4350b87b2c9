#include "mainwindow/grid_table_model.h"

#include <gtest/gtest.h>

#include <vector>

namespace varnex {
namespace {

// Every change signal of the model, in order, as short texts: "data r1,c1-r2,c2", "hh a-b" (horizontal
// header sections), "vh a-b", "corner", "reset".
struct Signals {
    std::vector<std::string> seen;
    explicit Signals(GridTableModel& m) {
        QObject::connect(&m, &QAbstractItemModel::dataChanged, [this](const QModelIndex& a, const QModelIndex& b) {
            seen.push_back("data " + pos(a) + "-" + pos(b));
        });
        QObject::connect(&m, &QAbstractItemModel::headerDataChanged, [this](Qt::Orientation o, int a, int b) {
            seen.push_back((o == Qt::Horizontal ? "hh " : "vh ") + std::to_string(a) + "-" + std::to_string(b));
        });
        QObject::connect(&m, &GridTableModel::cornerChanged, [this] { seen.push_back("corner"); });
        QObject::connect(&m, &QAbstractItemModel::modelReset, [this] { seen.push_back("reset"); });
    }
    static std::string pos(const QModelIndex& i) { return std::to_string(i.row()) + "," + std::to_string(i.column()); }
    std::vector<std::string> take() { return std::exchange(seen, {}); }
};

using Texts = std::vector<std::string>;

TEST(GridTableModel, ShowsTheBodyInCellsAndTheFixedRowAndColumnInHeaders) {
    GridModel grid;
    GridTableModel model(grid);
    EXPECT_EQ(model.rowCount(), 1);  // the designed 2 x 2 grid
    EXPECT_EQ(model.columnCount(), 1);

    grid.fill_data(2);
    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.cornerText(), "System");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "a(1,1)");
    EXPECT_EQ(model.data(model.index(1, 6)).toString(), "0");
    EXPECT_EQ(model.headerData(6, Qt::Horizontal).toString(), "Solution");
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "");
    EXPECT_FALSE(model.headerData(7, Qt::Horizontal).isValid());
    EXPECT_FALSE(model.headerData(2, Qt::Vertical).isValid());
    EXPECT_EQ(model.flags(model.index(0, 0)), Qt::ItemIsEnabled | Qt::ItemIsSelectable);

    grid.set_text(1, 1, "\xc3\xa9");  // texts are UTF-8
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QString(QChar(0xE9)));

    grid.fill_x(3, {0.0f, 0.5f, -2.0f, 1e20f});
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 1);
    EXPECT_EQ(model.cornerText(), "Solution");
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "");
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), "X(3)=");
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), "1E+20");
}

TEST(GridTableModel, AnnouncesEachWriteAtOnceByDefault) {
    GridModel grid;
    GridTableModel model(grid);
    Signals sig(model);
    grid.fill_data(3);
    EXPECT_EQ(sig.take(), (Texts{"reset", "corner"}));
    grid.set_text(2, 5, "1");
    grid.set_text(0, 9, "head");
    grid.set_text(3, 0, "side");
    grid.set_text(0, 0, "corner");
    EXPECT_EQ(sig.take(), (Texts{"data 1,4-1,4", "hh 8-8", "vh 2-2", "corner"}));
    grid.set_rows(2);
    grid.set_rows(2);  // unchanged: nothing to tell
    grid.clear();
    EXPECT_EQ(sig.take(), (Texts{"reset", "corner", "reset", "corner"}));
}

TEST(GridTableModel, DeferredWritesAreAnnouncedOnceByFlush) {
    const int n = 50;
    GridModel grid;
    GridTableModel model(grid);
    grid.fill_data(n);
    Signals sig(model);
    model.set_deferred(true);

    // One sweep writes the approximation column: one dataChanged for the whole column.
    for (int i = 1; i <= n; ++i) grid.set_text(i, 2 * n + 3, "0.5");
    EXPECT_TRUE(sig.take().empty());
    model.flush();
    EXPECT_EQ(sig.take(), (Texts{"data 0,102-49,102"}));
    model.flush();
    EXPECT_TRUE(sig.take().empty());

    // A rectangle that takes in the corner reaches both headers and the body.
    grid.set_text(0, 0, "c");
    grid.set_text(2, 3, "v");
    model.flush();
    EXPECT_EQ(sig.take(), (Texts{"corner", "hh 0-2", "vh 0-1", "data 0,0-1,2"}));

    // A layout change while deferred is told at once and supersedes the pending cells.
    grid.set_text(4, 4, "w");
    grid.fill_data(2);
    model.flush();
    EXPECT_EQ(sig.take(), (Texts{"reset", "corner"}));

    // Leaving deferred mode flushes.
    grid.set_text(1, 7, "x");
    model.set_deferred(false);
    EXPECT_EQ(sig.take(), (Texts{"data 0,6-0,6"}));
    grid.set_text(2, 7, "y");
    EXPECT_EQ(sig.take(), (Texts{"data 1,6-1,6"}));
}

TEST(GridTableModel, ResetAskedForDuringAResetEndsWithTheFinalCounts) {
    GridModel grid;
    GridTableModel model(grid);
    int resets = 0;
    // A view that reacts to the first reset by narrowing the grid, as a resize from a handler would.
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] {
        if (++resets == 1) grid.set_cols(3);
    });
    grid.fill_data(4);
    EXPECT_EQ(resets, 2);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.rowCount(), 4);
}

TEST(GridTableModel, LetsGoOfTheGridWhenDestroyed) {
    GridModel grid;
    {
        GridTableModel model(grid);
        EXPECT_EQ(grid.observer(), &model);
    }
    EXPECT_EQ(grid.observer(), nullptr);
    grid.fill_data(1);  // no observer left to call
    EXPECT_EQ(grid.text(1, 1), "a(1,1)");
}

}  // namespace
}  // namespace varnex
