// The accuracy report over the real commands: its norms on the six test systems against a long double
// computation made here from the file's own text, in memory and in connected mode, and the report's
// text for the ways a run ends.
#include "commands/accuracy_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "commands/commands.h"
#include "files/connect_command.h"
#include "files/open_command.h"
#include "support/fakes.h"

namespace varnex {
namespace {

using test::TestApp;

struct Reference {
    long double residual = 0, norm_a = 0, norm_x = 0, norm_b = 0;
};

// ||A*x - b|| and the norms from the text of a system file, each token read with strtof.
Reference reference(const std::string& text, const std::vector<float>& x) {
    Reference ref;
    std::istringstream lines(text);
    std::string line;
    for (int i = 1; std::getline(lines, line) && line.find_first_not_of(" \r\t") != std::string::npos; ++i) {
        std::istringstream tokens(line);
        std::vector<float> v;
        std::string tok;
        while (tokens >> tok) v.push_back(std::strtof(tok.c_str(), nullptr));
        long double r = -static_cast<long double>(v.back()), sum = 0;
        for (std::size_t j = 0; j + 1 < v.size(); ++j) {
            r += static_cast<long double>(v[j]) * x.at(j + 1);
            sum += std::fabs(static_cast<long double>(v[j]));
        }
        ref.residual = std::max(ref.residual, std::fabs(r));
        ref.norm_a = std::max(ref.norm_a, sum);
        ref.norm_b = std::max(ref.norm_b, std::fabs(static_cast<long double>(v.back())));
    }
    for (std::size_t j = 1; j < x.size(); ++j) ref.norm_x = std::max(ref.norm_x, std::fabs((long double)x[j]));
    return ref;
}

// Order 2 with b = (3, 5) by the entry commands.
void enter(TestApp& t, const std::vector<std::string>& a) {
    t.ui.set_text(Ctl::txtN, "2");
    cmdN_Click(t.app);
    auto accept = [&](int i, int j, const std::string& v) {
        t.ui.texts[txt_index(j ? 0 : 2)] = std::to_string(i);
        if (j) t.ui.texts[txt_index(1)] = std::to_string(j);
        t.ui.texts[j ? Ctl::txtA : Ctl::txtB] = v;
        j ? cmdA_Click(t.app) : cmdB_Click(t.app);
    };
    for (int k = 0; k < 4; ++k) accept(k / 2 + 1, k % 2 + 1, a[k]);
    accept(1, 0, "3");
    accept(2, 0, "5");
}

void expect_matches(const AccuracyReport& r, const Reference& ref, int n) {
    ASSERT_TRUE(r.measured) << r.note;
    const long double scale = ref.norm_a * ref.norm_x + ref.norm_b;
    // Double sums of n products: each off by at most about n units of 2^-53 of the terms' size.
    const double tol = static_cast<double>(4.0L * n * 0x1p-53L * scale);
    EXPECT_NEAR(r.norms.residual, static_cast<double>(ref.residual), tol);
    EXPECT_DOUBLE_EQ(r.norms.norm_a, static_cast<double>(ref.norm_a));
    EXPECT_DOUBLE_EQ(r.norms.norm_x, static_cast<double>(ref.norm_x));
    EXPECT_DOUBLE_EQ(r.norms.norm_b, static_cast<double>(ref.norm_b));
    EXPECT_NEAR(r.backward_error, static_cast<double>(ref.residual / scale), tol / static_cast<double>(scale));
}

TEST(AccuracyReport, ResidualAndBackwardErrorOfTheTestSystemsInBothModes) {
    const std::string dir = test::testdata_dir();
    if (dir.empty()) GTEST_SKIP() << "no test data";
    for (const char* name : {"494_bus", "bcsstk01", "bfwa62", "fs_183_1", "impcol_a", "west0067"}) {
        SCOPED_TRACE(name);
        const std::string text = test::read_file(dir + "/" + name + ".txt");
        TestApp t;
        const std::string path = t.dir.write(std::string("data/") + name + ".txt", text);
        // Memory mode: one sweep from the stored approximation (zeros), so that X is not trivial.
        t.cd.next.push_back(path);
        Open_Click(t.app);
        ASSERT_EQ(t.app.st.DataMode, kModeMemory);
        cmdIter_Click(t.app);
        const std::vector<float> x_before = t.app.st.X;
        AccuracyReport r = accuracy_report(t.app);
        expect_matches(r, reference(text, t.app.st.X), t.app.st.N);
        EXPECT_TRUE(r.conditioned);
        EXPECT_EQ(t.app.st.X, x_before);  // the report reads, never writes
        EXPECT_EQ(t.app.st.IterCount, 2);

        // Connected mode: the same system from the row file, one sweep from zeros.
        t.cd.next.push_back(path);
        Connect_Click(t.app);
        ASSERT_EQ(t.app.st.DataMode, kModeConnected);
        cmdIter_Click(t.app);
        r = accuracy_report(t.app);
        expect_matches(r, reference(text, t.app.st.X), t.app.st.N);
        EXPECT_FALSE(r.conditioned);
        EXPECT_FALSE(t.app.st.file3.is_open());
    }
}

TEST(AccuracyReport, LineNamesSweepsEndingAndWhatCannotBeJudged) {
    TestApp t;
    t.ui.set_text(Ctl::txtN, "2");
    cmdN_Click(t.app);
    // Nothing entered: the trap's message ends the command and there is nothing to measure.
    cmdSolution_Click(t.app);
    AccuracyReport r = accuracy_report(t.app);
    EXPECT_FALSE(r.measured);
    EXPECT_EQ(report_line(r), "0 sweeps, message: " + t.app.st.msg.MsgBadData);

    // 2x1 + x2 = 3, x1 + 3x2 = 5 solved: exact enough, well conditioned.
    enter(t, {"2", "1", "1", "3"});
    cmdSolution_Click(t.app);
    r = accuracy_report(t.app);
    EXPECT_TRUE(r.measured && r.conditioned && !r.beyond_single);
    EXPECT_NEAR(r.kappa1, 4.0 * (4.0 / 5.0), 1e-9);  // ||A||_1 = 4, ||A^-1||_1 = 4/5
    const std::string line = report_line(r);
    EXPECT_EQ(line.rfind("1 sweep, accuracy reached \u00b7 \u2016A\u00b7x \u2212 b\u2016\u221e = ", 0), 0u) << line;
    EXPECT_NE(line.find("\u00b7 \u03ba\u2081 \u2248 3.2"), std::string::npos) << line;
    EXPECT_NE(report_json_fields(r).find("\"sweeps\": 1, \"ending\": \"accuracy reached\", \"residual\": "),
              std::string::npos);

    // A singular system: the condition is infinite and the line says single precision cannot help.
    enter(t, {"2", "1", "4", "2"});
    cmdSolution_Click(t.app);
    r = accuracy_report(t.app);
    EXPECT_TRUE(r.beyond_single);
    EXPECT_TRUE(std::isinf(r.kappa1));
    EXPECT_NE(report_line(r).find("\u03ba\u2081 \u2248 inf: single precision cannot resolve this system."), std::string::npos);
    EXPECT_NE(report_json_fields(r).find("\"kappa1\": null, \"single_precision_unresolvable\": true"),
              std::string::npos);

    // Pending and cancelled reports say so and measure nothing.
    r = start_report(t.app);
    EXPECT_NE(report_line(r).find("computing accuracy"), std::string::npos);
    const std::atomic<bool> cancelled{true};
    EXPECT_FALSE(measure_report(t.app, r, cancelled));
    EXPECT_FALSE(r.measured);
}

}  // namespace
}  // namespace varnex
