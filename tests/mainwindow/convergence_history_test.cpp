// The convergence curves as data: decimation for drawing, the run history, and sweeps whose Er is 0.
#include "mainwindow/convergence_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace varnex;

namespace {

// A long, noisy decreasing curve with isolated spikes, dips and zeros, as a stalled run can give.
std::vector<float> awkward_curve(int n) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> noise(0.5f, 2.0f);
    std::vector<float> er(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) er[static_cast<std::size_t>(i)] = 1e3f * std::exp(-i / 4000.0f) * noise(gen);
    // Spikes at the same places in every curve long enough to hold them, scaled into shorter ones.
    er[static_cast<std::size_t>(1234L * n / 32767)] = 1e9f;
    er[static_cast<std::size_t>(20000L * n / 32767)] = 1e-20f;
    er[static_cast<std::size_t>(31000L * n / 32767)] = 0.0f;
    return er;
}

bool has_sweep(const std::vector<CurvePoint>& pts, int sweep) {
    return std::any_of(pts.begin(), pts.end(), [&](const CurvePoint& p) { return p.sweep == sweep; });
}

}  // namespace

TEST(Decimate, KeepsEveryBucketsExtremesAndBothEndsInSweepOrder) {
    for (int n : {32767, 1001, 603}) {
        for (int buckets : {1, 7, 300}) {
            const std::vector<float> er = awkward_curve(n);
            const std::vector<CurvePoint> pts = decimate(er, buckets);
            SCOPED_TRACE(testing::Message() << "n=" << n << " buckets=" << buckets);
            EXPECT_LE(pts.size(), std::size_t(2 * buckets + 2));
            ASSERT_FALSE(pts.empty());
            EXPECT_EQ(pts.front().sweep, 1);
            EXPECT_EQ(pts.back().sweep, n);  // never cut short
            for (std::size_t k = 1; k < pts.size(); ++k) ASSERT_LT(pts[k - 1].sweep, pts[k].sweep);
            for (const CurvePoint& p : pts) ASSERT_EQ(p.er, er[std::size_t(p.sweep - 1)]);
            // Whatever bucket they fall in, the smallest and largest Er of every bucket are drawn.
            for (int b = 0; b < buckets; ++b) {
                const auto lo = er.begin() + std::int64_t(b) * n / buckets;
                const auto hi = er.begin() + std::int64_t(b + 1) * n / buckets;
                if (lo == hi) continue;
                EXPECT_TRUE(has_sweep(pts, int(std::min_element(lo, hi) - er.begin()) + 1)) << b;
                EXPECT_TRUE(has_sweep(pts, int(std::max_element(lo, hi) - er.begin()) + 1)) << b;
            }
        }
    }
    // The spike, the deepest dip and the zero of the long curve survive 300 buckets.
    const std::vector<CurvePoint> pts = decimate(awkward_curve(32767), 300);
    EXPECT_TRUE(has_sweep(pts, 1235) && has_sweep(pts, 20001) && has_sweep(pts, 31001));
}

TEST(Decimate, LeavesOutWhatIsNotFiniteAndCopesWithNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_TRUE(decimate({}, 10).empty());
    const std::vector<CurvePoint> few = decimate({3.0f, nan, 2.0f, inf}, 10);
    ASSERT_EQ(few.size(), 2u);
    EXPECT_EQ(few[1].sweep, 3);
    std::vector<float> many(1000, 1.0f);
    for (std::size_t i = 0; i < 500; ++i) many[i] = nan;  // whole buckets of faults
    many[700] = 0.5f;
    const std::vector<CurvePoint> pts = decimate(many, 10);
    for (const CurvePoint& p : pts) EXPECT_TRUE(std::isfinite(p.er));
    EXPECT_TRUE(has_sweep(pts, 701) && has_sweep(pts, 1000));
}

TEST(ConvergenceHistory, NewCurvePerRunFiveEarlierKeptAndNextIterationGoesOn) {
    ConvergenceHistory h;
    EXPECT_EQ(h.system(), "untitled");
    h.command_starting(true, 1);  // a command that fails before its first sweep starts no curve
    EXPECT_TRUE(h.runs().empty());
    for (int run = 1; run <= 8; ++run) {
        h.set_system("run" + std::to_string(run) + ".txt");
        h.command_starting(true, 5);  // "Find  solution" starts a curve whatever IterCount holds
        for (int s = 0; s < run; ++s) h.sweep_done(float(run));
    }
    ASSERT_EQ(h.runs().size(), ConvergenceHistory::kEarlierRuns + 1);
    EXPECT_EQ(h.runs().front().system, "run3.txt");  // runs 1 and 2 have gone, oldest first

    // "Next Iteration" goes on with the run it continues, under that run's name...
    h.set_system("renamed.txt");
    h.command_starting(false, 9);
    h.sweep_done(0.5f);
    EXPECT_EQ(h.runs().back().er.size(), 9u);
    EXPECT_EQ(h.runs().back().system, "run8.txt");
    // The ending is the run's last command's; a command that made no sweep leaves it alone.
    h.command_ended("one sweep");
    h.command_starting(true, 10);
    h.command_ended("message:  Sorry, not correct format of the entered number.");
    EXPECT_EQ(h.runs().back().ending, "one sweep");
    // ...but sets a run up, on a new curve, when IterCount is 1 (after Accept N, Open, Connect).
    h.command_starting(false, 1);
    h.sweep_done(0.25f);
    EXPECT_EQ(h.runs_begun(), 9u);
    EXPECT_EQ(h.runs().back().system, "renamed.txt");
}

TEST(ConvergenceHistory, ZeroErSitsAtAFloorADecadeBelowEveryPositiveValue) {
    ConvergenceHistory h;
    h.command_starting(true, 1);
    for (float er : {2.5f, 0.0f, 3e-4f, 0.0f, 40.0f}) h.sweep_done(er);
    const std::vector<CurvePoint> pts = decimate(h.runs().back().er, 100);
    ASSERT_EQ(pts.size(), 5u);
    EXPECT_TRUE(pts[1].at_floor() && !pts[2].at_floor());
    const LogRange r = log_range(h.runs());
    EXPECT_DOUBLE_EQ(r.floor, 1e-5);
    EXPECT_DOUBLE_EQ(r.top, 100.0);
    // A run of zeros only still gives a range the log axis can take.
    ConvergenceHistory zeros;
    zeros.command_starting(true, 1);
    zeros.sweep_done(0.0f);
    const LogRange z = log_range(zeros.runs());
    EXPECT_GT(z.floor, 0.0);
    EXPECT_GT(z.top, z.floor);
}
