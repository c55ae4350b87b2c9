// The main window's command logic driven through the fakes: load, "Accept N", entry, the index
// arrows and both solve commands with their traps.
#include "mainwindow/commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/convert.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::TestApp;

void accept_n(TestApp& t, const std::string& n) {
    t.ui.texts[Ctl::txtN] = n;
    cmdN_Click(t.app);
}

void accept_a(TestApp& t, int i, int j, const std::string& value) {
    t.ui.texts[txt_index(0)] = std::to_string(i);
    t.ui.texts[txt_index(1)] = std::to_string(j);
    t.ui.texts[Ctl::txtA] = value;
    cmdA_Click(t.app);
}

void accept_b(TestApp& t, int i, const std::string& value) {
    t.ui.texts[txt_index(2)] = std::to_string(i);
    t.ui.texts[Ctl::txtB] = value;
    cmdB_Click(t.app);
}

// The worked system: 2x1 + x2 = 3, x1 + 3x2 = 5, solution (0.8, 1.4).
void enter_worked_system(TestApp& t) {
    accept_n(t, "2");
    accept_a(t, 1, 1, "2");
    accept_a(t, 1, 2, "1");
    accept_a(t, 2, 1, "1");
    accept_a(t, 2, 2, "3");
    accept_b(t, 1, "3");
    accept_b(t, 2, "5");
}

float x_cell(TestApp& t, int i) { return text_to_single(t.app.grid.text(i, 2 * t.app.st.N + 3)); }

TEST(FormLoad, DisablesEntryAndSolveAndReadsAccuracy) {
    TestApp t;
    t.app.st.msg = {};
    Form_Load(t.app);
    for (Ctl c : {Ctl::txtIndex0, Ctl::txtIndex1, Ctl::txtIndex2, Ctl::cmdA, Ctl::cmdB, Ctl::cmdSolution})
        EXPECT_FALSE(t.ui.enabled(c));
    EXPECT_EQ(t.app.st.msg.MsgBadData, " Sorry, incorrect data or not all  data are available.");
    EXPECT_EQ(t.app.st.IterCount, 1);
    EXPECT_EQ(t.app.st.Eps, 0.5f);
    EXPECT_EQ(t.app.st.DataMode, kModeEmpty);
    EXPECT_TRUE(t.box.shown.empty());
}

TEST(FormLoad, ReportsBadAccuracyAndUncreatableDataFolderButCarriesOn) {
    TestApp t;
    t.app.app_folder = t.dir.path() + "/missing/parent";  // the data folder cannot be created here
    t.ui.texts[Ctl::txtEps] = "abc";
    Form_Load(t.app);
    ASSERT_EQ(t.box.shown.size(), 2u);
    EXPECT_EQ(t.box.shown[0], " Sorry, the data folder could not be created.");
    EXPECT_EQ(t.box.shown[1], t.app.st.msg.MsgBadNumber);
    EXPECT_EQ(t.app.st.Eps, 0.0f);
    EXPECT_EQ(t.app.st.IterCount, 1);
    EXPECT_FALSE(t.ui.enabled(Ctl::cmdA));
}

TEST(AcceptN, RoundsHalvesToEvenAndLaysOutTheSystem) {
    TestApp t;
    accept_n(t, "2.5");
    EXPECT_EQ(t.app.st.N, 2);
    EXPECT_EQ(t.app.grid.rows(), 3);
    EXPECT_EQ(t.app.grid.cols(), 8);
    EXPECT_EQ(t.app.grid.text(2, 3), "a(2,2)");
    EXPECT_EQ(t.app.grid.text(1, 7), "0");
    for (Ctl c : {Ctl::cmdA, Ctl::cmdB, Ctl::cmdSolution, Ctl::cmdIter}) EXPECT_TRUE(t.ui.enabled(c));

    accept_n(t, "3.5");
    EXPECT_EQ(t.app.st.N, 4);
    EXPECT_EQ(t.app.grid.cols(), 12);

    accept_n(t, "0");
    EXPECT_EQ(t.app.st.N, 0);
    EXPECT_EQ(t.app.grid.rows(), 1);
    EXPECT_EQ(t.app.grid.cols(), 4);
    EXPECT_EQ(t.app.grid.text(0, 3), "Solution");
    EXPECT_TRUE(t.box.shown.empty());
}

TEST(AcceptN, RefusesUnusableOrdersLeavingEverythingButTheMode) {
    for (const char* bad : {"abc", "", "40000", "-1", "16382", "32767"}) {
        SCOPED_TRACE(bad);
        TestApp t;
        accept_n(t, "3");
        accept_a(t, 1, 1, "7");
        t.app.st.IterCount = 9;
        t.app.st.DataMode = kModeConnected;
        t.ui.on[Ctl::cmdA] = false;
        accept_n(t, bad);
        ASSERT_EQ(t.box.shown, std::vector<std::string>{t.app.st.msg.MsgBadNumber});
        EXPECT_EQ(t.app.st.DataMode, kModeMemory);
        EXPECT_EQ(t.app.st.N, 3);
        EXPECT_EQ(t.app.st.IterCount, 9);
        EXPECT_EQ(t.app.grid.rows(), 4);
        EXPECT_EQ(t.app.grid.text(1, 1), "7");
        EXPECT_FALSE(t.ui.enabled(Ctl::cmdA));
    }
}

TEST(AcceptN, SecondAcceptClearsEnteredValuesAndApproximation) {
    TestApp t;
    enter_worked_system(t);
    cmdIter_Click(t.app);
    ASSERT_NE(t.app.grid.text(1, 7), "0");
    accept_n(t, "2");
    EXPECT_EQ(t.app.grid.text(1, 1), "a(1,1)");
    EXPECT_EQ(t.app.grid.text(2, 5), "b(2)");
    EXPECT_EQ(t.app.grid.text(1, 7), "0");
    EXPECT_EQ(t.app.st.IterCount, 1);
}

TEST(IndexArrows, StopAtOneAndAtTheCurrentOrder) {
    TestApp t;
    cmdDown_Click(t.app, 0);
    EXPECT_EQ(t.ui.text(txt_index(0)), "1");
    cmdUp_Click(t.app, 2);  // no system yet: N is 0
    EXPECT_EQ(t.ui.text(txt_index(2)), "0");
    cmdDown_Click(t.app, 2);
    EXPECT_EQ(t.ui.text(txt_index(2)), "1");

    accept_n(t, "3");
    for (int k = 0; k < 5; ++k) cmdUp_Click(t.app, 1);
    EXPECT_EQ(t.ui.text(txt_index(1)), "3");
    EXPECT_EQ(t.ui.text(txt_index(0)), "1");  // the selectors are independent

    accept_n(t, "2");  // a smaller system keeps the old index
    EXPECT_EQ(t.ui.text(txt_index(1)), "3");
    t.ui.texts[txt_index(0)] = "1";
    t.ui.texts[Ctl::txtA] = "5";
    cmdA_Click(t.app);
    EXPECT_EQ(t.box.shown, std::vector<std::string>{t.app.st.msg.MsgBadNumber});
    EXPECT_EQ(t.app.grid.text(1, 5), "b(1)");  // column 2*3-1 is the b column at N = 2
    cmdDown_Click(t.app, 1);
    EXPECT_EQ(t.ui.text(txt_index(1)), "2");
    t.ui.texts[txt_index(1)] = "3";
    cmdUp_Click(t.app, 1);
    EXPECT_EQ(t.ui.text(txt_index(1)), "2");
}

TEST(Entry, WritesTheTextAsTypedOrRefusesWithoutWriting) {
    TestApp t;
    accept_n(t, "2");
    accept_a(t, 2, 1, "2.50");
    accept_b(t, 2, " 1e3");
    EXPECT_EQ(t.app.grid.text(2, 1), "2.50");
    EXPECT_EQ(t.app.grid.text(2, 5), " 1e3");
    accept_a(t, 2, 1, "4");
    EXPECT_EQ(t.app.grid.text(2, 1), "4");
    EXPECT_TRUE(t.box.shown.empty());

    accept_a(t, 1, 1, "");
    accept_a(t, 1, 1, "abc");
    accept_a(t, 1, 1, "1e99");
    accept_a(t, 0, 1, "1");
    accept_b(t, 3, "1");
    accept_b(t, 1, "x");
    EXPECT_EQ(t.box.shown.size(), 6u);
    for (const auto& s : t.box.shown) EXPECT_EQ(s, t.app.st.msg.MsgBadNumber);
    EXPECT_EQ(t.app.grid.text(1, 1), "a(1,1)");
    EXPECT_EQ(t.app.grid.text(1, 5), "b(1)");
}

TEST(Entry, ConnectedModeRefusesEntry) {
    TestApp t;
    t.app.st.N = 2;
    t.app.grid.fill_x(2, std::vector<float>{0, 1, 2});
    t.app.st.DataMode = kModeConnected;
    accept_a(t, 1, 1, "9");
    accept_b(t, 1, "9");
    EXPECT_EQ(t.box.shown.size(), 2u);
    EXPECT_EQ(t.app.grid.text(1, 1), "1");
}

TEST(SolveCommands, PlaceholderLeftInTheGridIsBadData) {
    TestApp t;
    enter_worked_system(t);
    accept_b(t, 2, "5");
    t.app.grid.set_text(2, 3, "a(2,2)");
    t.ui.texts[Ctl::txtTime] = "old";
    cmdSolution_Click(t.app);
    cmdIter_Click(t.app);
    EXPECT_EQ(t.box.shown, (std::vector<std::string>{t.app.st.msg.MsgBadData, t.app.st.msg.MsgBadData}));
    EXPECT_EQ(t.app.st.IterCount, 1);  // the next click sets up again
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "old");
    EXPECT_EQ(t.ui.text(Ctl::txtEr), "");
    EXPECT_EQ(t.app.grid.text(1, 7), "0");
}

TEST(SolveCommands, BadAccuracyChangesNothingElse) {
    TestApp t;
    enter_worked_system(t);
    t.app.st.Eps = 0.25f;
    t.app.st.IterCount = 5;
    t.ui.texts[Ctl::txtEps] = "abc";
    t.ui.texts[Ctl::txtTime] = "old";
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.box.shown, std::vector<std::string>{t.app.st.msg.MsgBadNumber});
    EXPECT_EQ(t.app.st.Eps, 0.25f);
    EXPECT_EQ(t.app.st.IterCount, 5);
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "old");
    EXPECT_EQ(t.app.grid.text(2, 7), "0");

    // "Next Iteration" does not read the box.
    t.app.st.IterCount = 1;
    cmdIter_Click(t.app);
    EXPECT_EQ(t.box.shown.size(), 1u);
    EXPECT_EQ(t.app.st.IterCount, 2);
}

TEST(SolveCommands, ZeroColumnShowsNoSolutionThenEndsSilently) {
    TestApp t;
    accept_n(t, "2");
    accept_a(t, 1, 1, "1");
    accept_a(t, 1, 2, "0");
    accept_a(t, 2, 1, "1");
    accept_a(t, 2, 2, "0");
    accept_b(t, 1, "1");
    accept_b(t, 2, "2");
    t.ui.texts[Ctl::txtTime] = "old";
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.box.shown, std::vector<std::string>{"NoSolution"});
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "old");
    EXPECT_EQ(t.app.st.IterCount, 1);
    EXPECT_FLOAT_EQ(x_cell(t, 1), 1.5f);  // the unknown before the zero column was moved and shown
}

TEST(SolveCommands, NextIterationSweepsTheWorkedExample) {
    TestApp t;
    enter_worked_system(t);
    t.ui.texts[Ctl::txtEps] = "abc";  // not read by "Next Iteration"
    const float expected[3] = {2.1f, 1.05f, 0.525f};
    for (float er : expected) {
        cmdIter_Click(t.app);
        EXPECT_NEAR(text_to_single(t.ui.text(Ctl::txtEr)), er, 1e-5f);
        EXPECT_EQ(t.ui.text(Ctl::txtTime), "0.25");
    }
    EXPECT_EQ(t.app.st.IterCount, 4);
    EXPECT_NEAR(x_cell(t, 1), 1.15f, 1e-5f);
    EXPECT_NEAR(x_cell(t, 2), 1.225f, 1e-5f);
    EXPECT_TRUE(t.box.shown.empty());
}

TEST(SolveCommands, FindSolutionStartsFromEliminationAndStopsAfterOneSweep) {
    TestApp t;
    enter_worked_system(t);
    cmdSolution_Click(t.app);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(t.app.st.IterCount, 2);
    EXPECT_LE(text_to_single(t.ui.text(Ctl::txtEr)), 0.5f);
    EXPECT_NEAR(x_cell(t, 1), 0.8f, 1e-5f);
    EXPECT_NEAR(x_cell(t, 2), 1.4f, 1e-5f);
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "0.25");
    EXPECT_GT(t.ui.refreshes, 0);  // the window gets to repaint during a run

    // "Next Iteration" goes on with the same run.
    cmdIter_Click(t.app);
    EXPECT_EQ(t.app.st.IterCount, 3);
}

TEST(SolveCommands, OrderZeroSweepsNothing) {
    TestApp t;
    accept_n(t, "0");
    cmdSolution_Click(t.app);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_LE(t.app.st.IterCount, 3);
    EXPECT_GE(t.app.st.IterCount, 2);
    EXPECT_EQ(t.ui.text(Ctl::txtEr), "0");
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "0.25");
}

TEST(SolveCommands, CounterOverflowEndsNextIterationSilently) {
    TestApp t;
    enter_worked_system(t);
    cmdIter_Click(t.app);
    t.app.st.IterCount = 32767;
    t.ui.texts[Ctl::txtTime] = "old";
    cmdIter_Click(t.app);
    EXPECT_TRUE(t.box.shown.empty());
    EXPECT_EQ(t.app.st.IterCount, 32767);
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "old");
    EXPECT_NEAR(text_to_single(t.ui.text(Ctl::txtEr)), 1.05f, 1e-5f);  // the sweep itself was made
}

TEST(SolveCommands, NoSystemYetDoesNothingButCount) {
    TestApp t;
    Form_Load(t.app);
    cmdIter_Click(t.app);
    EXPECT_EQ(t.app.st.IterCount, 2);
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.app.st.IterCount, 1);
    EXPECT_EQ(t.ui.text(Ctl::txtTime), "0.25");
    EXPECT_TRUE(t.box.shown.empty());
}

}  // namespace
}  // namespace varnex
