// The accuracy report over the real commands: the report's line for what a run left; the verdict and
// its reasons on systems built for each reason; and on the six test systems, the norms against a long
// double computation from the file's own text and the same verdict from the row file as from memory.
#include "commands/accuracy_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/open_command.h"
#include "core/verdict.h"
#include "steps.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::TestApp;

// Checks the report against ||A*x - b|| and the norms from the system file's text (tokens read by
// strtof) and x, in long double.
void expect_matches(const AccuracyReport& r, const std::string& text, const std::vector<float>& x) {
    ASSERT_TRUE(r.measured) << r.note;
    long double res = 0, na = 0, nx = 0, nb = 0;
    std::istringstream lines(text);
    std::string line, tok;
    while (std::getline(lines, line) && line.find_first_not_of(" \r") != std::string::npos) {
        std::istringstream tokens(line);
        std::vector<long double> v;
        while (tokens >> tok) v.push_back(std::strtof(tok.c_str(), nullptr));
        long double ri = -v.back(), sum = 0;
        for (std::size_t j = 0; j + 1 < v.size(); ++j) ri += v[j] * x.at(j + 1), sum += std::fabs(v[j]);
        res = std::max(res, std::fabs(ri)), na = std::max(na, sum), nb = std::max(nb, std::fabs(v.back()));
    }
    for (std::size_t j = 1; j < x.size(); ++j) nx = std::max(nx, std::fabs(static_cast<long double>(x[j])));
    const long double scale = na * nx + nb;
    // Double sums of n products: each within about n units of 2^-53 of the terms' size.
    const double tol = static_cast<double>(4.0L * x.size() * 0x1p-53L * scale);
    EXPECT_NEAR(r.norms.residual, static_cast<double>(res), tol);
    EXPECT_DOUBLE_EQ(r.norms.norm_a, static_cast<double>(na));
    EXPECT_DOUBLE_EQ(r.norms.norm_x, static_cast<double>(nx));
    EXPECT_DOUBLE_EQ(r.norms.norm_b, static_cast<double>(nb));
    EXPECT_NEAR(r.backward_error, static_cast<double>(res / scale), tol / static_cast<double>(scale));
}

TEST(AccuracyReport, LineNamesSweepsEndingAndWhatCannotBeJudged) {
    // ((2, 1), (1, 3)): ||A||_1 = 4, ||A^-1||_1 = 4/5.
    TestApp t;
    test::enter_system(t);
    cmdSolution_Click(t.app);
    AccuracyReport r = accuracy_report(t.app);
    EXPECT_NEAR(r.kappa1, 3.2, 1e-9);
    EXPECT_EQ(report_line(r).rfind("1 sweep, accuracy reached \u00b7 ", 0), 0u);
    EXPECT_THAT(report_line(r), testing::HasSubstr(" ms \u00b7 \u2016A\u00b7x \u2212 b\u2016\u221e = "));
    EXPECT_THAT(report_line(r), testing::HasSubstr(" \u00b7 \u03ba\u2081 \u2248 3.2"));
    EXPECT_EQ(report_json_fields(r).rfind("\"sweeps\": 1, \"ending\": \"accuracy reached\", \"residual\": ", 0), 0u);
    // ((2, 1), (4, 2)): singular.
    test::enter_system(t, {"2", "1", "4", "2", "3", "5"});
    cmdSolution_Click(t.app);
    r = accuracy_report(t.app);
    EXPECT_THAT(report_line(r),
                testing::HasSubstr("\u03ba\u2081 \u2248 inf: single precision cannot resolve this system."));
    EXPECT_THAT(report_json_fields(r), testing::HasSubstr("\"kappa1\": null, \"single_precision_unresolvable\": true"));
    r = start_report(t.app);  // still to be measured, then cancelled
    EXPECT_THAT(report_line(r), testing::HasSubstr("computing accuracy"));
    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(measure_report(t.app, r, cancelled));
    EXPECT_FALSE(r.measured);
}

using test::reason_keys;

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
    t.with_file(Open_Click, t.dir.write("data/" + name, text));
}

AccuracyReport solve(TestApp& t, const std::string& eps) {
    t.ui.set_text(Ctl::txtEps, eps);
    cmdSolution_Click(t.app);
    return accuracy_report(t.app);
}

TEST(Verdict, ZeroPivotLooseAccuracyAndTheCounterLimitNamedWithAnAccuracyThatWorks) {
    TestApp t;
    open(t, "zp.txt", system_text(kZeroPivot));
    AccuracyReport r = solve(t, "1");
    ASSERT_TRUE(r.judged && r.reference.claimed) << r.note;
    EXPECT_NE(r.judgement.verdict, Verdict::Trust);
    EXPECT_EQ(reason_keys(r), (std::vector<std::string>{"zero_pivot", "loose_eps"}));
    EXPECT_THAT(r.judgement.reasons[0].text, testing::HasSubstr("column 2"));
    EXPECT_THAT(verdict_line(r.judgement), testing::HasSubstr("zero pivot"));
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(r.reference.x[i], i);
    // Every residual component is negative after two sweeps: the box shows 0, so that no desired
    // accuracy is suggested; Next Iteration is.
    r = solve(t, "0.000001");
    ASSERT_EQ(t.app.st.Er, 0.0f);
    EXPECT_EQ(reason_keys(r), (std::vector<std::string>{"zero_pivot", "loose_eps"}));
    EXPECT_FALSE(r.judgement.suggests_eps);
    EXPECT_THAT(r.judgement.reasons[1].hint, testing::HasSubstr("Next Iteration"));
    // A sweep from zeros that meets the counter's limit: the verdict names the limit.
    open(t, "zp.txt", system_text(kZeroPivot));
    cmdIter_Click(t.app);
    t.app.st.IterCount = 32767;
    cmdIter_Click(t.app);
    r = accuracy_report(t.app);
    EXPECT_NE(r.judgement.verdict, Verdict::Trust);
    EXPECT_EQ(reason_keys(r), std::vector<std::string>{"sweep_limit"});

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
    EXPECT_THAT(r.judgement.reasons[0].hint, testing::HasSubstr("Export accurate solution"));
    // The farthest components come first, each against the reference.
    const auto& far = r.judgement.farthest;
    ASSERT_EQ(far.size(), 8u);
    for (std::size_t k = 1; k < far.size(); ++k)
        EXPECT_GE(std::fabs(far[k - 1].x - far[k - 1].reference), std::fabs(far[k].x - far[k].reference));
}

TEST(Verdict, WithoutAReferenceTheVerdictRestsOnTheBackwardErrorAndSaysSo) {
    const std::vector<float> x(101, 1.0f);
    VerdictFacts f;
    f.n = 100;
    f.end = RunEnd::NoFurtherProgress;
    f.x = &x;
    f.backward_error = 1e-7;  // as single precision reaches at this order
    Judgement j = judge(f);
    EXPECT_EQ(std::tuple(j.verdict, j.digits, verdict_line(j)),
              std::tuple(Verdict::Trust, -1, "x solves a system near this one (no reference)"));
    f.backward_error = 0.5;
    j = judge(f);
    EXPECT_EQ(j.verdict, Verdict::Wrong);
    EXPECT_EQ(verdict_line(j).rfind("x is wrong (no reference)", 0), 0u) << verdict_line(j);
    // With kappa1 known: forward error about kappa1 x backward error, 1e-3 here, so 3 digits.
    f.conditioned = true;
    f.kappa1 = 1e3;
    f.backward_error = 1e-6;
    j = judge(f);
    EXPECT_EQ(std::tuple(j.verdict, j.digits, j.reasons.size()), std::tuple(Verdict::Doubt, 3, 1u));
    EXPECT_EQ(j.reasons.at(0).key, "conditioning");
    EXPECT_EQ(verdict_line(j).rfind("x right to only 3 digits (estimated): ", 0), 0u) << verdict_line(j);
}

// What the verdict rests on, compared between the modes. The condition estimate of a large system may
// differ in its last bits from one call to the next (the LAPACK library shares its work among threads),
// so it is compared apart, relatively.
auto verdict_of(const AccuracyReport& r) {
    return std::tuple(r.judged, r.judgement.verdict, r.judgement.digits, reason_keys(r), r.reference.x,
                      verdict_line(r.judgement));
}

// One sweep from zeros in each mode, which gives the same X in both: the report's norms and residual
// match a long double computation from the file's text, and connected mode, measuring from the row
// file, gives the verdict of memory mode.
TEST(AccuracyReport, NormsAndVerdictOfTheTestSystemsAlikeInBothModes) {
    std::vector<std::pair<std::string, std::string>> systems{{"zp", system_text(kZeroPivot)}};
    const std::string dir = test::testdata_dir();
    for (const char* name : {"494_bus", "bcsstk01", "bfwa62", "fs_183_1", "impcol_a", "west0067"})
        if (!dir.empty()) systems.emplace_back(name, test::read_file(dir + "/" + name + ".txt"));
    for (const auto& [name, text] : systems) {
        SCOPED_TRACE(name);
        TestApp t;
        const std::string path = t.dir.write("data/" + name + ".txt", text);
        decltype(verdict_of(AccuracyReport{})) in_memory;
        double kappa1 = 0;
        for (auto command : {Open_Click, Connect_Click}) {
            t.with_file(command, path);
            cmdIter_Click(t.app);
            const std::vector<float> x = t.app.st.X;
            const AccuracyReport r = accuracy_report(t.app);
            expect_matches(r, text, x);
            // Connected mode too: the system fits in memory beside its double copy.
            EXPECT_TRUE(r.conditioned && r.judged);
            EXPECT_TRUE(t.app.st.X == x && t.app.st.IterCount == 2);  // read, never written
            if (command == Open_Click) {
                in_memory = verdict_of(r);
                kappa1 = r.kappa1;
            } else {
                EXPECT_EQ(verdict_of(r), in_memory);
                EXPECT_NEAR(r.kappa1, kappa1, 1e-12 * kappa1);
            }
        }
    }
}

}  // namespace
}  // namespace varnex
