// How each ending of a solve command is recorded in App::last_run, and the sweep count the status bar
// shows for it.
#include "commands/run_outcome.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/accuracy_report.h"
#include "commands/commands.h"
#include "files/connect_command.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::TestApp;

// Controls that ask to stop after every sweep, as Esc does.
class StoppingControls : public test::FakeControls {
  public:
    bool stop_requested() override { return true; }
};

// Types a value into its entry box and presses "Accept A(i,j)", or "Accept B(i)" when j is 0.
void accept(TestApp& t, int i, int j, const std::string& v) {
    t.ui.texts[txt_index(j ? 0 : 2)] = std::to_string(i);
    if (j) t.ui.texts[txt_index(1)] = std::to_string(j);
    t.ui.texts[j ? Ctl::txtA : Ctl::txtB] = v;
    j ? cmdA_Click(t.app) : cmdB_Click(t.app);
}

// 2x1 + x2 = 3, x1 + 3x2 = 5 by the entry commands, or another matrix of order 2 with that b.
void enter(TestApp& t, const std::vector<std::string>& a = {"2", "1", "1", "3"}) {
    t.ui.set_text(Ctl::txtN, "2");
    cmdN_Click(t.app);
    for (int k = 0; k < 4; ++k) accept(t, k / 2 + 1, k % 2 + 1, a[k]);
    accept(t, 1, 0, "3");
    accept(t, 2, 0, "5");
}

TEST(RunOutcome, EachEndingIsRecordedWithItsSweeps) {
    TestApp t;
    enter(t);
    cmdSolution_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run), "accuracy reached");
    EXPECT_TRUE(t.app.last_run.find_solution && t.app.last_run.timed);
    EXPECT_EQ(t.app.last_run.sweeps, 1);

    // With no reachable accuracy only stagnation ends the run; the count covers every sweep.
    t.ui.set_text(Ctl::txtEps, "-1");
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.app.last_run.end, RunEnd::NoFurtherProgress);
    EXPECT_EQ(run_sweeps(t.app), t.app.last_run.sweeps);

    // "Next Iteration" continues the run: one sweep recorded, the run's count goes on.
    const int before = run_sweeps(t.app);
    cmdIter_Click(t.app);
    EXPECT_EQ(t.app.last_run.end, RunEnd::OneSweep);
    EXPECT_FALSE(t.app.last_run.find_solution);
    EXPECT_EQ(run_sweeps(t.app), before + 1);

    // The sweep that meets the counter limit is made and counted; the command then ends silently.
    t.app.st.IterCount = 32767;
    cmdIter_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run), "sweep counter limit");
    EXPECT_FALSE(t.app.last_run.timed);
    EXPECT_EQ(run_sweeps(t.app), 32767);
    EXPECT_EQ(report_line(start_report(t.app)).rfind("32767 sweeps, sweep counter limit", 0), 0u);

    // A stop request ends "Find  solution" after its first sweep that meets no stop rule. The
    // connected run starts from zeros, so that its first sweep leaves Er well above 0.
    StoppingControls stopping;
    stopping.texts = t.ui.texts;
    t.app.ui = &stopping;
    t.cd.next.push_back(t.dir.write("data/s.txt", "2 1 3\r\n1 3 5\r\n"));
    Connect_Click(t.app);
    cmdSolution_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run), "stopped");
    EXPECT_EQ(run_sweeps(t.app), 1);
    EXPECT_TRUE(t.app.last_run.timed);
    t.app.ui = &t.ui;
}

TEST(RunOutcome, FaultsAndMessagesEndTheRecord) {
    TestApp t;
    // A zero column: "NoSolution" from the norms, then a fault in the first sweep.
    enter(t, {"1", "0", "1", "0"});
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.app.last_run.end, RunEnd::Fault);
    EXPECT_EQ(describe(t.app.last_run).rfind("fault: ", 0), 0u);
    EXPECT_FALSE(t.app.last_run.timed);

    // A coefficient never entered: the trap's message, nothing swept.
    t.ui.set_text(Ctl::txtN, "2");
    cmdN_Click(t.app);
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.app.last_run.end, RunEnd::Message);
    EXPECT_EQ(t.app.last_run.fault, t.app.st.msg.MsgBadData);
    EXPECT_EQ(t.app.last_run.sweeps, 0);
}

}  // namespace
}  // namespace varnex
