#include "mainwindow/grid_table_model.h"

#include <gtest/gtest.h>

#include <vector>

namespace varnex {
namespace {

using Texts = std::vector<std::string>;

TEST(GridTableModel, ShowsTheBodyInCellsAndTheFixedRowAndColumnInHeaders) {
    GridModel grid;
    { GridTableModel gone(grid); }
    EXPECT_EQ(grid.observer(), nullptr);  // a destroyed model is no longer told about changes
    GridTableModel model(grid);
    grid.fill_data(2);
    ASSERT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.cornerText(), "System");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "a(1,1)");
    EXPECT_EQ(model.headerData(6, Qt::Horizontal).toString(), "Solution");
    grid.fill_x(3, {0.0f, 0.5f, -2.0f, 1e20f});
    EXPECT_EQ(model.cornerText(), "Solution");
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), "X(3)=");
}

TEST(GridTableModel, AnnouncesWritesAtOnceOrGatheredUntilFlush) {
    GridModel grid;
    GridTableModel model(grid);
    // Every change signal, in order: "data r1,c1-r2,c2", "hh a-b" and "vh a-b" (header sections),
    // "corner", "reset".
    Texts seen;
    auto pos = [](const QModelIndex& i) { return std::to_string(i.row()) + "," + std::to_string(i.column()); };
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&](const QModelIndex& a, const QModelIndex& b) {
        seen.push_back("data " + pos(a) + "-" + pos(b));
    });
    QObject::connect(&model, &QAbstractItemModel::headerDataChanged, [&](Qt::Orientation o, int a, int b) {
        seen.push_back((o == Qt::Horizontal ? "hh " : "vh ") + std::to_string(a) + "-" + std::to_string(b));
    });
    QObject::connect(&model, &GridTableModel::cornerChanged, [&] { seen.push_back("corner"); });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { seen.push_back("reset"); });
    grid.fill_data(50);
    grid.set_text(2, 5, "1");
    EXPECT_EQ(std::exchange(seen, {}), (Texts{"reset", "corner", "data 1,4-1,4"}));

    // Deferred, a sweep over the approximation column is one dataChanged at flush.
    model.set_deferred(true);
    for (int i = 1; i <= 50; ++i) grid.set_text(i, 103, "0.5");
    EXPECT_TRUE(seen.empty());
    model.flush();
    EXPECT_EQ(std::exchange(seen, {}), (Texts{"data 0,102-49,102"}));

    // A rectangle that takes in the corner reaches both headers and the body.
    grid.set_text(0, 0, "c");
    grid.set_text(2, 3, "v");
    model.flush();
    EXPECT_EQ(std::exchange(seen, {}), (Texts{"corner", "hh 0-2", "vh 0-1", "data 0,0-1,2"}));

    // A layout change is told at once and supersedes pending cells; leaving deferral flushes.
    grid.set_text(4, 4, "w");
    grid.fill_data(2);
    model.flush();
    grid.set_text(1, 7, "x");
    model.set_deferred(false);
    EXPECT_EQ(seen, (Texts{"reset", "corner", "data 0,6-0,6"}));
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
}

}  // namespace
}  // namespace varnex
