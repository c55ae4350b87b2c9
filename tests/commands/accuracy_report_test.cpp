// The accuracy report over the real commands: its norms on the six test systems against a long double
// computation from the file's own text, in both modes, and the report's line for what a run left.
#include "commands/accuracy_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/open_command.h"
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

TEST(AccuracyReport, ResidualAndBackwardErrorOfTheTestSystemsInBothModes) {
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "no test data";
    for (const char* name : {"494_bus", "bcsstk01", "bfwa62", "fs_183_1", "impcol_a", "west0067"}) {
        SCOPED_TRACE(name);
        const std::string text = test::read_file(dir + "/" + name + ".txt");
        TestApp t;
        const std::string path = t.dir.write(std::string("data/") + name + ".txt", text);
        // Each mode: one sweep from zeros, so that X is not trivial.
        for (auto command : {Open_Click, Connect_Click}) {
            t.cd.next.push_back(path);
            command(t.app);
            cmdIter_Click(t.app);
            const SystemState before = t.app.st;
            const AccuracyReport r = accuracy_report(t.app);
            expect_matches(r, text, t.app.st.X);
            // Connected mode too: the system fits in memory beside its double copy.
            EXPECT_TRUE(r.conditioned);
            EXPECT_TRUE(t.app.st.X == before.X && t.app.st.IterCount == 2);  // read, never written
        }
    }
}

TEST(AccuracyReport, LineNamesSweepsEndingAndWhatCannotBeJudged) {
    TestApp t;
    test::accept_n(t, "2");
    cmdSolution_Click(t.app);  // nothing entered: the trap's message, nothing to measure
    AccuracyReport r = accuracy_report(t.app);
    EXPECT_EQ(report_line(r), "0 sweeps, message: " + t.app.st.msg.MsgBadData);

    // ((2, 1), (1, 3)): ||A||_1 = 4, ||A^-1||_1 = 4/5; then ((2, 1), (4, 2)), singular.
    for (const char* a21 : {"1", "4"}) {
        test::enter_system(t, {"2", "1", a21, a21[0] == '1' ? "3" : "2", "3", "5"});
        cmdSolution_Click(t.app);
        r = accuracy_report(t.app);
        const std::string line = report_line(r), json = report_json_fields(r);
        if (a21[0] == '1') {
            EXPECT_NEAR(r.kappa1, 3.2, 1e-9);
            EXPECT_EQ(line.rfind("1 sweep, accuracy reached \u00b7 ", 0), 0u);
            EXPECT_NE(line.find(" ms \u00b7 \u2016A\u00b7x \u2212 b\u2016\u221e = "), std::string::npos) << line;
            EXPECT_NE(line.find(" \u00b7 \u03ba\u2081 \u2248 3.2"), std::string::npos) << line;
            EXPECT_EQ(json.rfind("\"sweeps\": 1, \"ending\": \"accuracy reached\", \"residual\": ", 0), 0u);
        } else {
            EXPECT_NE(line.find("\u03ba\u2081 \u2248 inf: single precision cannot resolve this system."),
                      std::string::npos);
            EXPECT_NE(json.find("\"kappa1\": null, \"single_precision_unresolvable\": true"), std::string::npos);
        }
    }
    r = start_report(t.app);  // still to be measured, then cancelled
    EXPECT_NE(report_line(r).find("computing accuracy"), std::string::npos);
    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(measure_report(t.app, r, cancelled));
    EXPECT_FALSE(r.measured);
}

}  // namespace
}  // namespace varnex
