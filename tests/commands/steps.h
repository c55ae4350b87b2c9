#pragma once
// Steps the command tests share: a system typed in as a user does, through the entry boxes and their
// buttons; controls that ask every run to stop; the keys of a verdict's reasons; a fixture that
// connects systems and puts the row file's reading back to its default afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "commands/accuracy_report.h"
#include "commands/commands.h"
#include "commands/connect_command.h"
#include "core/memory_budget_testing.h"
#include "core/row_access_testing.h"
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

/// A test application with its data folder, for the tests of connected mode.
class ConnectFixture : public ::testing::Test {
  protected:
    TestApp t;
    App& app = t.app;
    SystemState& st = t.app.st;
    const std::string rows = row_file_path(t.app.app_folder);

    ConnectFixture() { std::filesystem::create_directories(t.dir.path() + "/data"); }
    ~ConnectFixture() override {
        set_row_access(RowAccess::Automatic);
        set_usable_memory_for_tests(std::nullopt);
    }
    /// Connects the system `text`, written as data/<name>; returns the messages shown.
    std::vector<std::string> connect(const std::string& text, const std::string& name = "sys.txt") {
        return t.with_file(Connect_Click, t.dir.write("data/" + name, text));
    }
};

}  // namespace varnex::test
