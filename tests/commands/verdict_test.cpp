// The verdict and its reasons on systems built for each reason, through the real commands, and the
// same verdict from the row file as from memory.
#include "core/verdict.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "commands/accuracy_report.h"
#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/open_command.h"
#include "steps.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::reason_keys;
using test::TestApp;

std::string shortest(float v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// A system file's text: each row a(i,1..n) b(i).
std::string system_text(const std::vector<std::vector<float>>& rows) {
    std::string s;
    for (const auto& row : rows) {
        for (float v : row) s += shortest(v) + ' ';
        s += "\r\n";
    }
    return s;
}

// The elimination's pivot is the largest signed entry: after column 1, column 2 holds 0 on the
// diagonal and -1.5 below it, so the elimination stops at column 2. Regular; x = (1, 2, 3).
const std::vector<std::vector<float>> kZeroPivot = {{2, 1, 0, 4}, {1, 0.5f, 1, 5}, {1, -1, 0, -1}};

void open(TestApp& t, const std::string& name, const std::string& text) {
    t.cd.next.push_back(t.dir.write("data/" + name, text));
    Open_Click(t.app);
}

AccuracyReport solve(TestApp& t, const std::string& eps) {
    t.ui.set_text(Ctl::txtEps, eps);
    cmdSolution_Click(t.app);
    return accuracy_report(t.app);
}

TEST(Verdict, ZeroPivotAndLooseAccuracyNamedWithAnAccuracyThatWorks) {
    TestApp t;
    open(t, "zp.txt", system_text(kZeroPivot));
    AccuracyReport r = solve(t, "1");
    ASSERT_TRUE(r.judged && r.reference.claimed) << r.note;
    EXPECT_NE(r.judgement.verdict, Verdict::Trust);
    EXPECT_EQ(reason_keys(r), (std::vector<std::string>{"zero_pivot", "loose_eps"}));
    EXPECT_NE(r.judgement.reasons[0].text.find("column 2"), std::string::npos) << r.judgement.reasons[0].text;
    EXPECT_NE(verdict_line(r.judgement).find("zero pivot"), std::string::npos);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(r.reference.x[i], i);
    // Every residual component is negative after two sweeps: the box shows 0, so that no desired
    // accuracy is suggested; Next Iteration is.
    r = solve(t, "0.000001");
    ASSERT_EQ(t.app.st.Er, 0.0f);
    EXPECT_EQ(reason_keys(r), (std::vector<std::string>{"zero_pivot", "loose_eps"}));
    EXPECT_FALSE(r.judgement.suggests_eps);
    EXPECT_NE(r.judgement.reasons[1].hint.find("Next Iteration"), std::string::npos);

    // west0067 as the user meets it: a zero pivot and the accuracy box's default; the suggested
    // accuracy, entered, gives an x to trust.
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "no test data";
    open(t, "west0067.txt", test::read_file(dir + "/west0067.txt"));
    r = solve(t, t.ui.text(Ctl::txtEps));
    EXPECT_EQ(r.judgement.verdict, Verdict::Wrong);
    EXPECT_EQ(reason_keys(r), (std::vector<std::string>{"zero_pivot", "loose_eps"}));
    ASSERT_TRUE(r.judgement.suggests_eps);
    r = solve(t, shortest(r.judgement.suggested_eps));
    EXPECT_EQ(r.judgement.verdict, Verdict::Trust) << status_line(r);
    EXPECT_TRUE(r.judgement.reasons.empty());
}

TEST(Verdict, UnresolvableSystemPointsToTheAccurateSolution) {
    // Hilbert of order 8 in single precision: kappa1 about 3e10.
    std::vector<std::vector<float>> rows(8, std::vector<float>(9, 1.0f));
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) rows[i][j] = 1.0f / static_cast<float>(i + j + 1);
    TestApp t;
    open(t, "hilbert.txt", system_text(rows));
    const AccuracyReport r = solve(t, "0.8");
    ASSERT_TRUE(r.judged && r.reference.claimed) << r.reference.why_not;
    EXPECT_TRUE(r.beyond_single);
    EXPECT_EQ(r.judgement.verdict, Verdict::Wrong) << status_line(r);
    EXPECT_EQ(reason_keys(r), std::vector<std::string>{"unresolvable"});
    EXPECT_NE(r.judgement.reasons[0].hint.find("Export accurate solution"), std::string::npos);
    // The farthest components come first, each against the reference.
    const auto& far = r.judgement.farthest;
    ASSERT_EQ(far.size(), 8u);
    for (std::size_t k = 1; k < far.size(); ++k)
        EXPECT_GE(std::fabs(far[k - 1].x - far[k - 1].reference), std::fabs(far[k].x - far[k].reference));
}

TEST(Verdict, RunAtTheCounterLimitSaysSo) {
    TestApp t;
    open(t, "zp.txt", system_text(kZeroPivot));
    cmdIter_Click(t.app);  // one sweep from zeros
    t.app.st.IterCount = 32767;
    cmdIter_Click(t.app);
    const AccuracyReport r = accuracy_report(t.app);
    ASSERT_EQ(t.app.last_run.end, RunEnd::SweepLimit);
    EXPECT_NE(r.judgement.verdict, Verdict::Trust);
    EXPECT_EQ(reason_keys(r), std::vector<std::string>{"sweep_limit"});
}

TEST(Verdict, WithoutAReferenceTheVerdictRestsOnTheBackwardErrorAndSaysSo) {
    const std::vector<float> x(101, 1.0f);
    VerdictFacts f;
    f.n = 100;
    f.end = RunEnd::NoFurtherProgress;
    f.x = &x;
    f.backward_error = 1e-7;  // as single precision reaches at this order
    Judgement j = judge(f);
    EXPECT_EQ(j.verdict, Verdict::Trust);
    EXPECT_EQ(j.digits, -1);
    EXPECT_EQ(verdict_line(j), "x solves a system near this one (no reference)");
    f.backward_error = 0.5;
    j = judge(f);
    EXPECT_EQ(j.verdict, Verdict::Wrong);
    EXPECT_EQ(verdict_line(j).rfind("x is wrong (no reference)", 0), 0u) << verdict_line(j);
    // With kappa1 known: forward error about kappa1 x backward error, 1e-3 here, so 3 digits.
    f.conditioned = true;
    f.kappa1 = 1e3;
    f.backward_error = 1e-6;
    j = judge(f);
    EXPECT_EQ(j.digits, 3);
    EXPECT_EQ(j.verdict, Verdict::Doubt);
    EXPECT_EQ(verdict_line(j).rfind("x right to only 3 digits (estimated): ", 0), 0u) << verdict_line(j);
    ASSERT_EQ(j.reasons.size(), 1u);
    EXPECT_EQ(j.reasons[0].key, "conditioning");
}

// Memory mode and connected mode judge the same X of the same system alike.
void expect_same_verdict_in_both_modes(const std::string& name, const std::string& text) {
    SCOPED_TRACE(name);
    TestApp t;
    const std::string path = t.dir.write("data/" + name, text);
    t.cd.next.push_back(path);
    Open_Click(t.app);
    cmdIter_Click(t.app);
    const AccuracyReport memory = accuracy_report(t.app);
    const std::vector<float> x = t.app.st.X;
    const float er = t.app.st.Er;
    t.cd.next.push_back(path);
    Connect_Click(t.app);
    cmdIter_Click(t.app);
    t.app.st.X = x;
    t.app.st.Er = er;
    const AccuracyReport connected = accuracy_report(t.app);
    ASSERT_TRUE(memory.judged && connected.judged);
    EXPECT_EQ(connected.judgement.verdict, memory.judgement.verdict);
    EXPECT_EQ(connected.judgement.digits, memory.judgement.digits);
    EXPECT_EQ(reason_keys(connected), reason_keys(memory));
    EXPECT_EQ(connected.kappa1, memory.kappa1);
    EXPECT_EQ(connected.reference.x, memory.reference.x);
    EXPECT_EQ(verdict_line(connected.judgement), verdict_line(memory.judgement));
}

TEST(Verdict, ConnectedModeGivesTheVerdictOfMemoryMode) {
    expect_same_verdict_in_both_modes("zp.txt", system_text(kZeroPivot));
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "no test data";
    for (const char* name : {"fs_183_1", "west0067"})
        expect_same_verdict_in_both_modes(std::string(name) + ".txt", test::read_file(dir + "/" + name + ".txt"));
}

}  // namespace
}  // namespace varnex
