#pragma once
// Steps the command tests share: a system typed in as a user does, through the entry boxes and their
// buttons; controls that ask every run to stop; the keys of a verdict's reasons.
#include <string>
#include <vector>

#include "commands/accuracy_report.h"
#include "commands/commands.h"
#include "support/fakes.h"

namespace varnex::test {

/// Types n into txtN and presses "Accept N".
inline void accept_n(TestApp& t, const std::string& n) {
    t.ui.texts[Ctl::txtN] = n;
    cmdN_Click(t.app);
}

/// Types the indices and the value and presses "Accept A(i,j)", or "Accept B(i)" when j is 0.
inline void accept(TestApp& t, int i, int j, const std::string& v) {
    t.ui.texts[txt_index(j ? 0 : 2)] = std::to_string(i);
    if (j) t.ui.texts[txt_index(1)] = std::to_string(j);
    t.ui.texts[j ? Ctl::txtA : Ctl::txtB] = v;
    j ? cmdA_Click(t.app) : cmdB_Click(t.app);
}

/// An order-2 system from a11, a12, a21, a22, b1, b2; the default is 2x1 + x2 = 3, x1 + 3x2 = 5.
inline void enter_system(TestApp& t, const std::vector<std::string>& v = {"2", "1", "1", "3", "3", "5"}) {
    accept_n(t, "2");
    for (int k = 0; k < 4; ++k) accept(t, k / 2 + 1, k % 2 + 1, v[k]);
    accept(t, 1, 0, v[4]);
    accept(t, 2, 0, v[5]);
}

/// Controls with the texts of `from` that ask to stop after every sweep, as Esc does.
struct StoppingControls : FakeControls {
    explicit StoppingControls(const FakeControls& from) { texts = from.texts; }
    bool stop_requested() override { return true; }
};

/// The keys of the report's verdict's reasons, in order.
inline std::vector<std::string> reason_keys(const AccuracyReport& r) {
    std::vector<std::string> k;
    for (const VerdictReason& why : r.judgement.reasons) k.push_back(why.key);
    return k;
}

}  // namespace varnex::test
