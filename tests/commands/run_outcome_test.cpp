// How each ending of a solve command is recorded in App::last_run, with the sweeps the report counts.
#include "commands/run_outcome.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/accuracy_report.h"
#include "commands/commands.h"
#include "commands/connect_command.h"
#include "steps.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::enter_system;
using test::TestApp;

TEST(RunOutcome, EachEndingIsRecordedWithItsSweeps) {
    TestApp t;
    enter_system(t);
    cmdSolution_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run), "accuracy reached");
    EXPECT_TRUE(t.app.last_run.find_solution && t.app.last_run.timed && t.app.last_run.sweeps == 1);

    t.ui.set_text(Ctl::txtEps, "-1");  // only stagnation can end this run
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.app.last_run.end, RunEnd::NoFurtherProgress);
    const int sweeps = run_sweeps(t.app);
    EXPECT_EQ(sweeps, t.app.last_run.sweeps);
    cmdIter_Click(t.app);  // continues the run
    EXPECT_EQ(t.app.last_run.end, RunEnd::OneSweep);
    EXPECT_EQ(run_sweeps(t.app), sweeps + 1);

    // The sweep that meets the counter's limit is made and counted; the command ends silently.
    t.app.st.IterCount = 32767;
    cmdIter_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run), "sweep counter limit");
    EXPECT_FALSE(t.app.last_run.timed);
    EXPECT_EQ(report_line(start_report(t.app)).rfind("32767 sweeps, sweep counter limit", 0), 0u);

    // A stop request ends "Find  solution" after its first sweep; the connected run starts from
    // zeros, so that no stop rule holds there.
    test::StoppingControls stopping(t.ui);
    t.app.ui = &stopping;
    t.cd.next.push_back(t.dir.write("data/s.txt", "2 1 3\r\n1 3 5\r\n"));
    Connect_Click(t.app);
    cmdSolution_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run), "stopped");
    EXPECT_TRUE(run_sweeps(t.app) == 1 && t.app.last_run.timed);
    const AccuracyReport r = accuracy_report(t.app);  // a verdict that names why the run ended
    EXPECT_NE(r.judgement.verdict, Verdict::Trust);
    EXPECT_EQ(test::reason_keys(r), std::vector<std::string>{"stopped"});
    t.app.ui = &t.ui;
}

TEST(RunOutcome, FaultsAndMessagesEndTheRecord) {
    TestApp t;
    enter_system(t, {"1", "0", "1", "0", "3", "5"});  // a zero column: "NoSolution", then a fault in the first sweep
    cmdSolution_Click(t.app);
    EXPECT_EQ(describe(t.app.last_run).rfind("fault: ", 0), 0u);
    EXPECT_FALSE(t.app.last_run.timed);
    const unsigned runs = t.app.last_run.runs;

    test::accept_n(t, "2");  // a coefficient never entered: the trap's message
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.app.last_run.end, RunEnd::Message);
    EXPECT_EQ(t.app.last_run.fault, t.app.st.msg.MsgBadData);
    EXPECT_EQ(t.app.last_run.runs, runs + 1);
    t.ui.set_text(Ctl::txtEps, "abc");  // no run begins: the record stays
    cmdSolution_Click(t.app);
    EXPECT_EQ(t.app.last_run.runs, runs + 1);
}

}  // namespace
}  // namespace varnex
