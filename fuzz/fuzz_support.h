#pragma once
// What the fuzz targets share: seams that record what the commands show, an application folder of
// their own, and an independent reading of the text formats to check the program's results against.

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/app.h"
#include "support/quiet_seams.h"
#include "support/temp_dir.h"

namespace varnex::fuzz {

/// Stops the run with the input that broke a check (libFuzzer and the replay both report it).
[[noreturn]] inline void fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "check failed: %s %s\n", what, detail.c_str());
    std::abort();
}
#define FUZZ_CHECK(cond, detail) \
    do {                         \
        if (!(cond)) ::varnex::fuzz::fail(#cond, (detail)); \
    } while (0)

struct Boxes final : MessageBoxes {
    std::vector<std::string> shown;
    void message(std::string_view t) override { shown.emplace_back(t); }
    bool ask_yes_no(std::string_view t) override {
        shown.emplace_back(t);
        return true;
    }
};

struct Dialog final : FileDialog {
    std::optional<std::string> next;
    bool ShowOpen() override { return show(); }
    bool ShowSave() override { return show(); }
    bool show() {
        if (!next) return false;
        FileName = *next;
        next.reset();
        return true;
    }
};

/// An App on the seams above, with its application folder (and data/solutions) in a fresh temporary
/// folder kept for the whole run.
struct FuzzApp {
    test::QuietControls ui;
    Boxes box;
    Dialog cd;
    test::MidnightClock clock;
    App app;
    FuzzApp() {
        // Taken away again when the run ends normally; a crash leaves it for the inquest.
        static const test::TempDir root;
        static const std::string folder = root.path() + "/app";
        std::filesystem::create_directories(folder + "/data/solutions");
        app.ui = &ui;
        app.box = &box;
        app.cd = &cd;
        app.clock = &clock;
        app.app_folder = folder;
        app.st.msg.fill();
    }
    /// The App for the next input: a system of order 1 in force, no message shown yet.
    App& next_input() {
        box.shown.clear();
        app.st.N = 1;
        return app;
    }
    std::string write(const std::string& rel, std::string_view bytes) const {
        const std::string path = app.app_folder + "/" + rel;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) std::abort();
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
};

// ---- The formats, stated again from their description, without the program's code. ----

/// The lines of a text: each ends at LF, one CR before the LF or at the very end is dropped, and
/// nothing after a final line end is a line.
inline std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> lines;
    std::string cur;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t lf = text.find('\n', i);
        std::string line(text.substr(i, lf == std::string_view::npos ? std::string_view::npos : lf - i));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (lf == std::string_view::npos) break;
        i = lf + 1;
    }
    return lines;
}

/// The blank-separated tokens of a line: only the blank separates.
inline std::vector<std::string> tokens_of(const std::string& line) {
    std::vector<std::string> tokens;
    std::string cur;
    for (char c : line) {
        if (c == ' ') {
            if (!cur.empty()) tokens.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) tokens.push_back(cur);
    return tokens;
}

/// A number as the text-to-number rule reads it, or nothing: blanks around it, an optional sign,
/// digits with at most one '.' (at least one digit), an optional exponent of E or e, an optional
/// sign and at least one digit; the nearest float, and nothing when that is beyond the float range.
inline std::optional<float> number_of(std::string_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && text[a] == ' ') ++a;
    while (b > a && text[b - 1] == ' ') --b;
    std::string s(text.substr(a, b - a));
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    int digits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            ++digits;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        int exp_digits = 0;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) ++exp_digits;
        if (exp_digits == 0) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    // strtof rounds correctly to the nearest float in the C locale; the text is plain ASCII here.
    errno = 0;
    float v = std::strtof(s.c_str(), nullptr);
    if (std::isinf(v)) return std::nullopt;
    return v;
}

/// The placeholder texts of a coefficient and a right-hand side never written.
inline std::string placeholder_a(int i, int j) { return "a(" + std::to_string(i) + "," + std::to_string(j) + ")"; }
inline std::string placeholder_b(int i) { return "b(" + std::to_string(i) + ")"; }

}  // namespace varnex::fuzz
