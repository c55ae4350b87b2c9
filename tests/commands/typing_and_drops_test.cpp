// Typing into grid cells, the notes about refused and rounded orders, and what a dropped file
// becomes: the command logic behind them, driven through the fakes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "commands/cell_entry.h"
#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/import_command.h"
#include "commands/open_command.h"
#include "core/order_notes.h"
#include "files/dropped_file.h"
#include "steps.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::accept_n;
using test::TestApp;

TEST(CellEntry, OnlyCoefficientAndRightHandSideCellsOfAMemorySystemTakeValues) {
    TestApp t;
    EXPECT_EQ(cell_entry(t.app, 1, 1).kind, CellEntry::Kind::None);  // nothing laid out yet
    accept_n(t, "3");
    auto entry = [&](int row, int col) {
        const CellEntry e = cell_entry(t.app, row, col);
        return std::tuple(e.kind, e.i, e.kind == CellEntry::Kind::A ? e.j : 0);
    };
    EXPECT_EQ(entry(2, 5), std::tuple(CellEntry::Kind::A, 2, 3));
    EXPECT_EQ(entry(3, 7), std::tuple(CellEntry::Kind::B, 3, 0));
    // Operators, the approximation x(i), the headers and cells outside the layout stay read-only.
    for (auto [row, col] : {std::pair{1, 2}, {1, 6}, {1, 8}, {1, 9}, {0, 1}, {1, 0}, {4, 1}, {1, 11}})
        EXPECT_EQ(cell_entry(t.app, row, col).kind, CellEntry::Kind::None) << row << "," << col;
}

TEST(CellEntry, TypedValuesGoInAsTypedAndBadOnesLeaveTheCell) {
    TestApp t;
    accept_n(t, "2");
    EXPECT_TRUE(enter_cell(t.app, 2, 5, " -1E3 "));
    EXPECT_EQ(t.app.grid.text(2, 5), " -1E3 ");
    for (const char* bad : {"", "1e99"}) EXPECT_FALSE(enter_cell(t.app, 2, 5, bad)) << bad;
    EXPECT_EQ(t.app.grid.text(2, 5), " -1E3 ");
    EXPECT_EQ(t.box.shown, std::vector<std::string>(2, t.app.st.msg.MsgBadNumber));
    EXPECT_FALSE(enter_cell(t.app, 1, 7, "5"));  // x(1): nothing shown, nothing written
    EXPECT_EQ(t.box.shown.size(), 2u);
}

TEST(CellEntry, ConnectedSystemHasNoEntryCells) {
    TestApp t;
    t.with_file(Connect_Click, t.dir.write("data/big.txt", "1 2 3\r\n4 5 6\r\n"));
    ASSERT_EQ(t.app.st.DataMode, kModeConnected);
    EXPECT_EQ(cell_entry(t.app, 1, 1).kind, CellEntry::Kind::None);
    EXPECT_FALSE(enter_cell(t.app, 1, 1, "7"));
}

// Over an order of 4: orders past the limit are refused with a note of where larger systems go (a half
// goes to the even neighbour first), a fraction is rounded with a note; other refusals have no note.
TEST(OrderNotes, RefusedOrdersSayWhereLargerSystemsGoAndFractionsWhereTheyWereRounded) {
    using V = std::vector<std::string>;
    for (auto [text, n, notes] : {std::tuple{"16382", 4, V{order_limit_note(16382)}},
                                  {"40000", 4, V{order_limit_note(40000)}},
                                  {"1E6", 4, V{order_limit_note(1000000)}},
                                  {"16381.5", 4, V{order_limit_note(16382)}},
                                  {"abc", 4, V{}},
                                  {"-3", 4, V{}},
                                  {"2.5", 2, V{"N = 2.5 was rounded to order 2"}},
                                  {" 3.0 ", 3, V{}}}) {
        SCOPED_TRACE(text);
        TestApp t;
        accept_n(t, "4");
        accept_n(t, text);
        EXPECT_EQ(t.app.st.N, n);
        EXPECT_EQ(t.box.shown, n == 4 ? V{t.app.st.msg.MsgBadNumber} : V{});
        EXPECT_EQ(t.ui.notes, notes);
        EXPECT_TRUE(notes.empty() || is_order_note(notes[0]));
    }
    EXPECT_EQ(order_limit_note(16382), std::string("order 16382 refused: ") + kOrderLimitText);
}

TEST(OrderNotes, OpenAndImportOfTooLargeSystemsNoteTheLimit) {
    TestApp t;
    std::string row;
    for (int j = 0; j < 16383; ++j) row += "1 ";  // 16382 coefficients and b(1)
    t.with_file(Open_Click, t.dir.write("data/wide.txt", row + "\r\n"));
    ASSERT_EQ(t.ui.notes.size(), 1u);
    EXPECT_EQ(t.ui.notes[0], order_limit_note(16382));
    EXPECT_EQ(t.box.shown, std::vector<std::string>{t.app.st.msg.MsgBadFile});

    t.ui.notes.clear();
    const std::string mtx = t.dir.write("data/huge.mtx",
                                        "%%MatrixMarket matrix coordinate real general\n"
                                        "20000 20000 1\n1 1 1\n");
    EXPECT_FALSE(import_system(t.app, mtx));
    ASSERT_EQ(t.ui.notes.size(), 1u);
    EXPECT_EQ(t.ui.notes[0], order_limit_note(20000));
}

TEST(DroppedFile, EachKindOfDropHasItsCommandOrItsMessage) {
    TestApp t;
    const std::string txt = t.dir.write("sys.txt", "2 3\r\n");
    const std::string noext = t.dir.write("system", "2 3\r\n");
    const std::string png = t.dir.write("picture.png", std::string("\x89PNG\r\n\x1a\n\0\0", 10));
    using A = DropDecision::Action;
    EXPECT_EQ(decide_drop({txt}).action, A::Open);
    EXPECT_EQ(decide_drop({txt}).path, txt);
    EXPECT_EQ(decide_drop({noext}).action, A::Open);
    for (const char* name : {"a.mtx", "b.CSV", "c.tsv", "d.mtx.gz", "e.tar.gz"}) {
        const std::string path = t.dir.write(name, "x");
        EXPECT_EQ(decide_drop({path}).action, A::Import) << name;
    }
    // A binary file, a folder, several files, a file that is gone, a drop without a local file.
    for (const std::vector<std::string>& drop :
         std::vector<std::vector<std::string>>{{png}, {t.dir.path()}, {txt, noext}, {t.dir.path() + "/gone.txt"}, {}}) {
        const DropDecision d = decide_drop(drop);
        EXPECT_EQ(d.action, A::Refuse);
        EXPECT_FALSE(d.message.empty());
    }
    EXPECT_NE(decide_drop({txt, noext}).message.find("2 files"), std::string::npos);
    EXPECT_NE(decide_drop({t.dir.path()}).message.find("is a folder"), std::string::npos);
}

}  // namespace
}  // namespace varnex
