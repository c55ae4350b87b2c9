// The main window's command logic driven through the fakes: load, entry, arrows, and the solve traps.
#include "commands/commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/convert.h"
#include "steps.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::accept;
using test::accept_n;
using test::enter_system;
using test::TestApp;
using Texts = std::vector<std::string>;

float x_cell(TestApp& t, int i) { return text_to_single(t.app.grid.text(i, 2 * t.app.st.N + 3)); }

TEST(FormLoad, ReportsAnUncreatableDataFolderAndBadAccuracyButCarriesOn) {
    TestApp t;
    t.app.app_folder = t.dir.path() + "/missing/parent";
    t.ui.texts[Ctl::txtEps] = "abc";
    Form_Load(t.app);
    EXPECT_EQ(t.box.shown, (Texts{" Sorry, the data folder could not be created.", t.app.st.msg.MsgBadNumber}));
}

// Over an order of 3 with a(1,1) entered and "Accept A(i,j)" off: a refused order (N stays 3) shows
// MsgBadNumber and leaves grid and buttons alone.
TEST(AcceptN, RoundsHalvesToEvenAndRefusesUnusableOrders) {
    for (auto [text, n] :
         {std::pair{"2.5", 2}, {"3.5", 4}, {"0", 0}, {"abc", 3}, {"", 3}, {"40000", 3}, {"-1", 3}, {"16382", 3}}) {
        SCOPED_TRACE(text);
        TestApp t;
        accept_n(t, "3");
        accept(t, 1, 1, "7");
        t.ui.on[Ctl::cmdA] = false;
        accept_n(t, text);
        const bool refused = n == 3;
        EXPECT_EQ(t.box.shown, refused ? Texts{t.app.st.msg.MsgBadNumber} : Texts{});
        EXPECT_EQ(t.app.grid.rows(), n + 1);
        EXPECT_TRUE(n == 0 || t.app.grid.text(1, 1) == (refused ? "7" : "a(1,1)"));
        EXPECT_EQ(t.ui.enabled(Ctl::cmdA), !refused);
    }
}

TEST(Entry, ArrowsStopAtOneAndNAndBadIndicesOrValuesWriteNothing) {
    TestApp t;
    cmdDown_Click(t.app, 0);
    EXPECT_EQ(t.ui.text(txt_index(0)), "1");
    accept_n(t, "3");
    for (int k = 0; k < 5; ++k) cmdUp_Click(t.app, 1);
    EXPECT_EQ(t.ui.text(txt_index(1)), "3");

    accept_n(t, "2");  // the selector keeps 3, above the new order
    t.ui.texts[Ctl::txtA] = "5";
    cmdA_Click(t.app);
    accept(t, 2, 1, "2.50");
    EXPECT_EQ(t.app.grid.text(2, 1), "2.50");  // written as typed
    for (auto [i, j, v] : {std::tuple{1, 1, "abc"}, {1, 1, "1e99"}, {0, 1, "1"}, {3, 0, "1"}, {1, 0, "x"}})
        accept(t, i, j, v);
    EXPECT_EQ(t.box.shown, Texts(6, t.app.st.msg.MsgBadNumber));
    EXPECT_EQ(t.app.grid.text(1, 1), "a(1,1)");
    EXPECT_EQ(t.app.grid.text(1, 5), "b(1)");  // column 2*3-1 is the b column at N = 2
}

TEST(SolveCommands, BadInputIsReportedAndChangesNothing) {
    TestApp t;
    enter_system(t);
    t.app.grid.set_text(2, 3, "a(2,2)");
    cmdSolution_Click(t.app);
    cmdIter_Click(t.app);
    EXPECT_EQ(t.box.shown, Texts(2, t.app.st.msg.MsgBadData));

    accept(t, 2, 2, "3");
    t.app.st.IterCount = 5;
    t.ui.texts[Ctl::txtEps] = "abc";
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.box.shown.back(), t.app.st.msg.MsgBadNumber);
    EXPECT_EQ(t.app.st.IterCount, 5);
}

// A grid large enough to be loaded on two threads, with one bad cell in either half of the rows, at
// a row's first or last coefficient, its b or its x: the arrays hold exactly what loading the cells
// one by one in row order stores before the bad one, zeros and the earlier x after it.
TEST(SolveCommands, ABadCellAnywhereInALargeGridStopsTheLoadingThere) {
    const int n = 300;
    auto value = [](int i, int j) { return static_cast<float>((i * 7 + j * 3) % 101) / 8.0f - 6.0f; };
    // (row, column of the grid) of the bad cell; column 2n + 3 is x(i), 2n + 1 is b(i).
    const std::pair<int, int> bad[] = {{1, 1}, {7, 2 * n + 3}, {150, 2 * n - 1}, {151, 1}, {222, 2 * n + 1}, {300, 9}};
    for (auto [bad_row, bad_col] : bad) {
        SCOPED_TRACE(testing::Message() << bad_row << "," << bad_col);
        TestApp t;
        accept_n(t, std::to_string(n));
        for (int i = 1; i <= n; ++i)
            for (int c = 1; c <= 2 * n + 3; c += 2) t.app.grid.set_text(i, c, single_to_text(value(i, (c + 1) / 2)));
        t.app.grid.set_text(bad_row, bad_col, "1,5");
        dim_cleared(t.app.st.X, n);
        for (int i = 1; i <= n; ++i) t.app.st.X[i] = -static_cast<float>(i);
        cmdIter_Click(t.app);
        EXPECT_EQ(t.box.shown, Texts{t.app.st.msg.MsgBadData});
        bool before = true;  // in row order, the cells before the bad one
        int mismatches = 0;
        for (int i = 1; i <= n; ++i) {
            for (int c = 1; c <= 2 * n + 3; c += 2) {
                if (i == bad_row && c == bad_col) before = false;
                const float loaded = before ? value(i, (c + 1) / 2) : c == 2 * n + 3 ? -static_cast<float>(i) : 0.0f;
                const float held = c == 2 * n + 3   ? t.app.st.X[i]
                                   : c == 2 * n + 1 ? t.app.st.B[i]
                                                    : t.app.st.A(i, (c + 1) / 2);
                mismatches += held != loaded;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(SolveCommands, OrderZeroZeroColumnAndCounterOverflowEndTheCommand) {
    TestApp t;
    accept_n(t, "0");
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.ui.text(Ctl::txtEr), "0");

    enter_system(t, {"1", "0", "1", "0", "1", "2"});
    t.ui.texts[Ctl::txtTime] = "old";
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.box.shown, Texts{"NoSolution"});
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "old");
    EXPECT_FLOAT_EQ(x_cell(t, 1), 1.5f);  // the unknown before the zero column was moved and shown

    enter_system(t);
    cmdIter_Click(t.app);
    t.app.st.IterCount = 32767;
    t.ui.texts[Ctl::txtTime] = "older";
    cmdIter_Click(t.app);
    EXPECT_EQ(t.app.st.IterCount, 32767);
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "older");
    EXPECT_NEAR(text_to_single(t.ui.text(Ctl::txtEr)), 1.05f, 1e-5f);  // the sweep itself was made
}

}  // namespace
}  // namespace varnex
