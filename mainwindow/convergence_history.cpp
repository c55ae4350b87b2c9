#include "mainwindow/convergence_history.h"

#include <algorithm>
#include <cmath>

namespace varnex {

std::vector<CurvePoint> decimate(const std::vector<float>& er, int buckets, std::size_t count) {
    const std::int64_t n = static_cast<std::int64_t>(std::min(er.size(), count));
    if (buckets < 1) buckets = 1;
    std::vector<CurvePoint> out;
    auto keep = [&](std::int64_t i) {
        if (std::isfinite(er[static_cast<std::size_t>(i)]))
            out.push_back({static_cast<int>(i + 1), er[static_cast<std::size_t>(i)]});
    };
    if (n <= 2 * static_cast<std::int64_t>(buckets) + 2) {
        out.reserve(static_cast<std::size_t>(n));
        for (std::int64_t i = 0; i < n; ++i) keep(i);
        return out;
    }
    out.reserve(2 * static_cast<std::size_t>(buckets) + 2);
    keep(0);
    // Bucket b holds the sweeps with index lo..hi-1; a log axis keeps the order of values, so the
    // smallest and largest Er are also the lowest and highest points in log space (zeros lowest).
    for (std::int64_t b = 0; b < buckets; ++b) {
        const std::int64_t lo = b * n / buckets;
        const std::int64_t hi = (b + 1) * n / buckets;
        std::int64_t imin = -1, imax = -1;
        for (std::int64_t i = lo; i < hi; ++i) {
            const float v = er[static_cast<std::size_t>(i)];
            if (!std::isfinite(v)) continue;
            if (imin < 0 || v < er[static_cast<std::size_t>(imin)]) imin = i;
            if (imax < 0 || v > er[static_cast<std::size_t>(imax)]) imax = i;
        }
        if (imin < 0) continue;
        const std::int64_t first = imin < imax ? imin : imax;
        const std::int64_t second = imin < imax ? imax : imin;
        // Sweeps 1 and n are kept on their own, before and after the buckets.
        if (first != 0 && first != n - 1) keep(first);
        if (second != first && second != 0 && second != n - 1) keep(second);
    }
    keep(n - 1);
    return out;
}

double nice_step(double span, int most) {
    double step = 1.0;
    for (;;) {
        for (double m : {1.0, 2.0, 5.0})
            if (span / (m * step) <= most) return m * step;
        step *= 10.0;
    }
}

LogRange log_range(const std::deque<ConvergenceRun>& runs) {
    float lo = 0.0f, hi = 0.0f;
    for (const ConvergenceRun& r : runs) {
        if (r.min_positive > 0.0f && (lo == 0.0f || r.min_positive < lo)) lo = r.min_positive;
        if (r.max > hi) hi = r.max;
    }
    LogRange range;
    if (lo > 0.0f) range.floor = std::pow(10.0, std::floor(std::log10(static_cast<double>(lo))) - 1.0);
    if (hi > 0.0f) range.top = std::pow(10.0, std::ceil(std::log10(static_cast<double>(hi))));
    if (!runs.empty() && runs.back().eps > 0.0f && std::isfinite(runs.back().eps)) {
        const double e = std::log10(static_cast<double>(runs.back().eps));
        range.floor = std::fmin(range.floor, std::pow(10.0, std::floor(e) - 1.0));
        range.top = std::fmax(range.top, std::pow(10.0, std::ceil(e)));
    }
    if (!(range.top > range.floor)) range.top = range.floor * 10.0;
    return range;
}

void ConvergenceHistory::command_starting(bool find_solution, int iter_count) {
    new_run_due_ = find_solution || iter_count == 1 || runs_.empty();
    swept_ = false;
}

void ConvergenceHistory::command_ended(std::string ending) {
    if (swept_) runs_.back().ending = std::move(ending);
    swept_ = false;
}

void ConvergenceHistory::sweep_done(float er) {
    if (new_run_due_) {
        new_run_due_ = false;
        if (runs_.size() > kEarlierRuns) runs_.pop_front();
        runs_.emplace_back();
        runs_.back().system = system_;
        runs_.back().serial = ++runs_begun_;
    }
    swept_ = true;
    ConvergenceRun& run = runs_.back();
    run.er.push_back(er);
    if (eps_) run.eps = *eps_;
    if (er > 0.0f && std::isfinite(er)) {
        if (run.min_positive == 0.0f || er < run.min_positive) run.min_positive = er;
        if (er > run.max) run.max = er;
    }
}

}  // namespace varnex
