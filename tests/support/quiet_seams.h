#pragma once
// Seams for the benchmarks and fuzz targets: they keep no log of calls, so that millions of commands
// run in constant memory, and answer every question with yes.
#include <map>
#include <string>
#include <string_view>

#include "core/ui.h"

namespace varnex::test {

/// Controls that remember the last text of each control; every control is enabled.
struct QuietControls : Controls {
    std::map<Ctl, std::string> texts;
    std::string text(Ctl c) const override {
        auto it = texts.find(c);
        return it == texts.end() ? std::string() : it->second;
    }
    void set_text(Ctl c, std::string_view t) override { texts[c] = std::string(t); }
    bool enabled(Ctl) const override { return true; }
    void set_enabled(Ctl, bool) override {}
};

/// Message boxes that count the messages shown and answer yes.
struct CountingBoxes : MessageBoxes {
    int shown = 0;
    void message(std::string_view) override { ++shown; }
    bool ask_yes_no(std::string_view) override { return true; }
};

/// A clock that always says midnight.
struct MidnightClock : Clock {
    float seconds_since_midnight() override { return 0.0f; }
};

}  // namespace varnex::test
