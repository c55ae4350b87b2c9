// The verdict on X and its reasons, from the report's figures and the reference solution.

#include "core/verdict.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/accuracy.h"

namespace varnex {

namespace {

// The backward error must exceed what single precision reaches by this factor for the desired
// accuracy to count as loose.
constexpr double kLooseFactor = 100.0;
// The accuracy box and the residual's largest magnitude are explained when they differ this much.
constexpr double kBoxFactor = 10.0;

// Correct significant digits for a normwise relative error, 0..kSingleDigits.
int digits_for(double error) {
    if (!(error >= 0.0)) return 0;  // NaN
    if (error == 0.0) return kSingleDigits;
    const double d = std::floor(-std::log10(error));
    return static_cast<int>(std::clamp(d, 0.0, static_cast<double>(kSingleDigits)));
}

Verdict verdict_for_digits(int digits) {
    if (digits >= kTrustDigits) return Verdict::Trust;
    return digits >= 1 ? Verdict::Doubt : Verdict::Wrong;
}

// ||x - x^|| / ||x^||, and the components farthest from x^.
double compare_with_reference(const VerdictFacts& f, std::vector<ComponentError>& farthest) {
    const std::vector<float>& x = *f.x;
    const std::vector<double>& ref = f.reference->x;
    double diff = 0.0, norm = 0.0;
    std::vector<std::pair<double, int>> by_distance;
    by_distance.reserve(static_cast<std::size_t>(f.n));
    for (int i = 1; i <= f.n; ++i) {
        const double d = std::fabs(static_cast<double>(x[i]) - ref[i]);
        diff = std::isnan(d) ? d : std::fmax(diff, d);
        norm = std::fmax(norm, std::fabs(ref[i]));
        by_distance.emplace_back(std::isnan(d) ? INFINITY : d, i);
    }
    const std::size_t top = std::min<std::size_t>(kFarthestCount, by_distance.size());
    std::partial_sort(
        by_distance.begin(), by_distance.begin() + static_cast<std::ptrdiff_t>(top), by_distance.end(),
        [](const auto& a, const auto& b) { return a.first > b.first || (a.first == b.first && a.second < b.second); });
    for (std::size_t k = 0; k < top; ++k) {
        const int i = by_distance[k].second;
        const double r = std::fabs(ref[i]);
        const double rel = r > 0.0 ? by_distance[k].first / r : (by_distance[k].first == 0.0 ? 0.0 : INFINITY);
        farthest.push_back({i, x[i], ref[i], rel});
    }
    if (std::isnan(diff)) return diff;
    return norm > 0.0 ? diff / norm : (diff == 0.0 ? 0.0 : INFINITY);
}

// The desired accuracy that the stop rule should be given: the residual that single precision
// reaches for this system, rounded down to a power of ten. A run that cannot get there ends by "no
// further progress" instead.
float suggest_eps(const VerdictFacts& f) {
    const bool ref = f.reference && f.reference->claimed;
    double norm_x = f.norms.norm_x;
    if (ref) {
        norm_x = 0.0;
        for (int i = 1; i <= f.n; ++i) norm_x = std::fmax(norm_x, std::fabs(f.reference->x[i]));
    }
    const double reach = reachable_backward_error(f.n) * (f.norms.norm_a * norm_x + f.norms.norm_b);
    if (!(reach > 0.0) || !std::isfinite(reach)) return 0.0f;
    return static_cast<float>(std::pow(10.0, std::floor(std::log10(reach))));
}

// The stop rule held while the backward error is far above what single precision reaches: either
// the desired accuracy is loose (a tighter one is suggested), or no residual component was positive,
// so that the box showed 0 and no desired accuracy could have held the run.
VerdictReason loose_reason(const VerdictFacts& f, Judgement& j) {
    const std::string be = "the backward error is " + g3(f.backward_error) + " where single precision reaches about " +
                           g3(reachable_backward_error(f.n));
    const float eps = suggest_eps(f);
    if (eps > 0.0f && f.er > eps) {
        j.suggests_eps = true;
        j.suggested_eps = eps;
        return {"loose_eps", "the desired accuracy is loose",
                "The stop rule held at a desired accuracy of " + g3(f.eps) + ", loose for this system: " + be + ".",
                "Enter " + g3(eps) + " as the desired accuracy and run again."};
    }
    return {"loose_eps", "the stop rule held too early",
            "The stop rule held with the accuracy box at " + g3(f.er) +
                ": the box counts only positive residual components, and " + be + ".",
            "Press Next Iteration to sweep on: no desired accuracy can hold this run."};
}

void add_run_reasons(const VerdictFacts& f, std::vector<VerdictReason>& out) {
    if (f.end == RunEnd::SweepLimit)
        out.push_back({"sweep_limit", "the run met the sweep limit",
                       "The run ended at the sweep counter's limit of 32767 before the stop rule held.",
                       "Press Find  solution again to go on with a new count, or take the accurate solution."});
    if (f.end == RunEnd::Stopped)
        out.push_back({"stopped", "the run was stopped", "The run was stopped before the stop rule held.",
                       "Press Next Iteration or Find  solution to go on."});
}

std::vector<VerdictReason> reasons_for(const VerdictFacts& f, Judgement& j) {
    std::vector<VerdictReason> out;
    if (f.end == RunEnd::Fault)
        out.push_back({"fault", "the run met a fault", "The run ended at a fault: " + f.fault + ".",
                       "Look for coefficients far larger or smaller than the rest, or take the accurate solution."});
    if (f.zero_pivot > 0)
        out.push_back({"zero_pivot", "the elimination met a zero pivot",
                       "The direct solve stopped at a zero pivot in column " + std::to_string(f.zero_pivot) +
                           " (the pivot is the largest signed entry), so the sweeps started from the grid's x.",
                       "The sweeps alone converge slowly: set a smaller desired accuracy, or take the accurate "
                       "solution."});
    if (f.conditioned && beyond_single_precision(f.kappa1))
        out.push_back({"unresolvable", "single precision cannot resolve it",
                       "Single precision cannot resolve this system: \u03ba\u2081 \u2248 " + g3(f.kappa1) +
                           ", and \u03ba\u2081\u00b72\u207b\u00b2\u2074 \u2265 1.",
                       f.reference && f.reference->claimed
                           ? "Take the accurate solution: File \u25b8 Export accurate solution\u2026"
                           : "Rescale or reformulate the system; no accurate solution could be had either."});
    if (f.end == RunEnd::AccuracyReached && f.backward_error > kLooseFactor * reachable_backward_error(f.n))
        out.push_back(loose_reason(f, j));
    add_run_reasons(f, out);
    // None of the above: the condition of A limits what single precision can give.
    if (out.empty() && f.conditioned && std::isfinite(f.kappa1))
        out.push_back({"conditioning", "the system is ill-conditioned",
                       "With \u03ba\u2081 \u2248 " + g3(f.kappa1) +
                           ", single precision gives only a few digits of this system; more sweeps add none.",
                       "Take the accurate solution: File \u25b8 Export accurate solution\u2026"});
    return out;
}

std::string box_note_for(const VerdictFacts& f) {
    const double er = f.er, r = f.norms.residual;
    const double lo = std::fmin(er, r), hi = std::fmax(er, r);
    if (!(hi > kBoxFactor * lo)) return {};
    return "The accuracy box shows the largest positive residual component as the sweeps computed it (" + g3(er) +
           "); the residual's largest magnitude, computed again in double precision, is " + g3(r) + ".";
}

}  // namespace

int zero_pivot_column(const SystemState& st) {
    // A completed step k leaves Aw(k,k) exactly 1; the step that met a zero pivot left a 0 there and
    // returned. Row N is never normalised: a 0 there stopped the elimination before the back
    // substitution.
    const int n = st.N;
    if (n <= 0 || st.Aw.upper() < n) return 0;
    for (int k = 1; k < n; ++k) {
        if (st.Aw(k, k) == 0.0f) return k;
        if (st.Aw(k, k) != 1.0f) return 0;
    }
    return st.Aw(n, n) == 0.0f ? n : 0;
}

double reachable_backward_error(int n) { return std::max(1.0, std::sqrt(static_cast<double>(n))) * 0x1p-24; }

const char* verdict_key(Verdict v) {
    switch (v) {
        case Verdict::Trust:
            return "trust";
        case Verdict::Doubt:
            return "doubt";
        case Verdict::Wrong:
            return "wrong";
    }
    return "wrong";
}

Judgement judge(const VerdictFacts& f) {
    Judgement j;
    if (f.reference && f.reference->claimed && f.x && static_cast<int>(f.reference->x.size()) > f.n &&
        static_cast<int>(f.x->size()) > f.n) {
        j.from_reference = true;
        j.error = compare_with_reference(f, j.farthest);
        j.digits = digits_for(j.error);
        j.verdict = verdict_for_digits(j.digits);
    } else if (f.conditioned) {
        // Forward error <= condition x backward error, to first order.
        j.error = std::fmin(1.0, f.kappa1 * f.backward_error);
        if (std::isnan(f.backward_error)) j.error = NAN;
        j.digits = digits_for(j.error);
        j.verdict = verdict_for_digits(j.digits);
    } else {
        const double be = f.backward_error;
        j.verdict = be <= kLooseFactor * reachable_backward_error(f.n) ? Verdict::Trust
                    : be < 0.01                                        ? Verdict::Doubt
                                                                       : Verdict::Wrong;
    }
    std::vector<VerdictReason> reasons = reasons_for(f, j);
    if (j.verdict != Verdict::Trust) j.reasons = std::move(reasons);
    if (j.reasons.empty() || j.reasons.end() == std::find_if(j.reasons.begin(), j.reasons.end(),
                                                             [](const auto& r) { return r.key == "loose_eps"; }))
        j.suggests_eps = false;
    j.box_note = box_note_for(f);
    return j;
}

std::string verdict_words(const Judgement& j) {
    const std::string why = j.reasons.empty() ? std::string() : ": " + j.reasons.front().brief;
    const std::string d = std::to_string(j.digits) + (j.digits == 1 ? " digit" : " digits");
    // Without a reference the verdict says what it rests on.
    const std::string basis = j.from_reference ? "" : j.digits < 0 ? " (no reference)" : " (estimated)";
    switch (j.verdict) {
        case Verdict::Trust:
            if (j.digits < 0) return "x solves a system near this one" + basis;
            return "x right to about " + d + basis;
        case Verdict::Doubt:
            return (j.digits < 0 ? "x is in doubt" : "x right to only " + d) + basis + why;
        case Verdict::Wrong:
            return "x is wrong" + basis + why;
    }
    return {};
}

std::string verdict_line(const Judgement& j) {
    return verdict_words(j) + (j.verdict == Verdict::Trust ? "" : "; see View \u25b8 Accuracy");
}

}  // namespace varnex
