#pragma once
// The verdict on the shown solution X: how many significant digits of x are right, measured against
// the reference solution where there is one and estimated from the backward error where there is
// not; trust, doubt or wrong; and every reason that applies, each with what to do about it.

#include <string>
#include <vector>

#include "core/norms.h"
#include "core/reference.h"
#include "core/run_end.h"
#include "core/state.h"

namespace varnex {

enum class Verdict { Trust, Doubt, Wrong };

/// Significant decimal digits a single-precision value holds.
inline constexpr int kSingleDigits = 7;
/// Digits from which x is trusted; below, 1 or more is doubt and 0 is wrong.
inline constexpr int kTrustDigits = 4;
/// Components of x listed as the farthest from the reference.
inline constexpr int kFarthestCount = 10;

/// One reason for a verdict below trust. `key` is stable (the batch program's JSON prints it).
struct VerdictReason {
    /// zero_pivot, loose_eps, unresolvable, sweep_limit, stopped, fault; conditioning when none of
    /// these applies and the condition of A is what limits x
    std::string key;
    std::string brief;  ///< a few words for the status bar
    std::string text;   ///< what happened, one sentence
    std::string hint;   ///< what to do, one sentence
};

/// A component of x against the reference.
struct ComponentError {
    int i = 0;
    float x = 0.0f;
    double reference = 0.0;
    double relative = 0.0;  ///< |x(i) - x^(i)| / |x^(i)|; +inf where x^(i) = 0 and x(i) is not
};

/// What a verdict is about: the run, the shown X and what the report measured.
struct VerdictFacts {
    int n = 0;
    RunEnd end = RunEnd::None;
    std::string fault;                      ///< the fault's name for RunEnd::Fault
    int zero_pivot = 0;                     ///< column where the elimination met a zero pivot; 0 when it did not
    float er = 0.0f;                        ///< the accuracy box: the largest positive residual component
    float eps = 0.0f;                       ///< the desired accuracy of the run
    const std::vector<float>* x = nullptr;  ///< X(1..n)
    ResidualNorms norms;
    double backward_error = 0.0;
    bool conditioned = false;
    double kappa1 = 0.0;
    const ReferenceSolution* reference = nullptr;
};

struct Judgement {
    Verdict verdict = Verdict::Trust;
    bool from_reference = false;         ///< digits measured against the reference, else estimated
    int digits = -1;                     ///< correct significant digits of x; -1 when not even estimated
    double error = -1.0;                 ///< ||x - x^|| / ||x^|| (measured or estimated); -1 when unknown
    std::vector<VerdictReason> reasons;  ///< every reason that applies, the weightiest first
    bool suggests_eps = false;
    float suggested_eps = 0.0f;            ///< the desired accuracy to enter instead, for loose_eps
    std::string box_note;                  ///< why the accuracy box and the residual's largest magnitude differ
    std::vector<ComponentError> farthest;  ///< the components farthest from the reference, farthest first
};

/// The column where the last Gaussian elimination on st.Aw met a zero pivot; 0 when it completed
/// (or Aw holds no elimination of order N).
int zero_pivot_column(const SystemState& st);

/// The backward error that single precision reaches for a system of order n.
double reachable_backward_error(int n);

/// The verdict, digits and reasons. Reasons are listed only for a verdict below trust.
Judgement judge(const VerdictFacts& f);

/// "trust", "doubt" or "wrong".
const char* verdict_key(Verdict v);

/// The verdict in a few words ("x right to about 6 digits", "x is wrong: the elimination met a
/// zero pivot").
std::string verdict_words(const Judgement& j);

/// The verdict in a few words, for the start of the status bar ("x right to about 6 digits", "x is
/// wrong: the elimination met a zero pivot; see View ▸ Accuracy").
std::string verdict_line(const Judgement& j);

}  // namespace varnex
