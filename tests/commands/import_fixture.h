#pragma once
// A test application that imports files written into its data folder, for the Import tests.
#include <gtest/gtest.h>

#include <string>

#include "commands/import_command.h"
#include "core/convert.h"
#include "support/fakes.h"

namespace varnex::test {

inline const std::string kBanner = "%%MatrixMarket matrix ";

class ImportFixture : public ::testing::Test {
  protected:
    void TearDown() override { set_decimal_separator('.'); }
    // Writes data/<rel> (and data/<b_rel> when given), imports the first, and returns the message shown
    // ("" for none); whether the system landed must agree with it.
    std::string import(const std::string& rel, const std::string& bytes, const std::string& b_rel = "",
                       const std::string& b_bytes = "") {
        t.box.shown.clear();
        t.ui.notes.clear();
        if (!b_rel.empty()) t.dir.write("data/" + b_rel, b_bytes);
        const bool landed = import_system(t.app, t.dir.write("data/" + rel, bytes));
        EXPECT_EQ(landed, t.box.shown.empty());
        return t.box.shown.empty() ? std::string() : t.box.shown[0];
    }
    std::string system() { return system_texts(t.app); }
    std::string bad(const std::string& where) { return t.app.st.msg.MsgBadFile + " " + where; }
    TestApp t;
};

}  // namespace varnex::test
