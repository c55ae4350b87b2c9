#pragma once
// What the import fuzz targets share: the text as other programs write it (a byte-order mark, any
// line end), the checks every import must pass whatever its format, and the system an import leaves.

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "commands/import_command.h"
#include "core/grid_layout.h"
#include "fuzz/fuzz_support.h"

namespace varnex::fuzz {

/// Inputs of a larger order are not imported: the grid grows with the square of the order and the
/// fuzzer would spend its time filling it.
inline constexpr long kFuzzMaxOrder = 64;

/// The lines of an imported text: a leading UTF-8 byte-order mark dropped, lines ended by LF, CR LF
/// or a lone CR, nothing after a final line end.
inline std::vector<std::string> import_lines_of(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string> lines;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

/// The system an import must leave: a(i,j) at a[(i-1)*n + j-1], b(i) at b[i-1].
struct Expected {
    bool ok = false;
    long n = 0;
    std::vector<float> a, b;
};

inline bool same_bits(float x, float y) { return std::bit_cast<uint32_t>(x) == std::bit_cast<uint32_t>(y); }

/// Sets up the state before an import: an order-1 system whose cells say "old".
inline void before_import(FuzzApp& f) {
    App& app = f.app;
    app.st.N = 1;
    app.st.DataMode = kModeMemory;
    app.grid.fill_data(1);
    app.grid.set_text(1, 1, "old");
    f.box.shown.clear();
}

/// Checks what import_system did against `want`: on success every cell reads back, by the number
/// rule, to the very value the format gives, and nothing was said; on a refusal the earlier system
/// stays and one message says so: the bad-file message followed by "FILE, line L: ..." or "FILE: ...",
/// FILE one of `files`.
inline void check_import(FuzzApp& f, bool landed, const Expected& want, const std::vector<std::string>& files) {
    App& app = f.app;
    FUZZ_CHECK(landed == want.ok, want.ok ? "refused: " + (f.box.shown.empty() ? "" : f.box.shown[0]) : "accepted");
    if (!landed) {
        FUZZ_CHECK(app.st.N == 1 && app.grid.text(1, 1) == "old", "");
        FUZZ_CHECK(f.box.shown.size() == 1, "");
        const std::string& m = f.box.shown[0];
        const std::string head = app.st.msg.MsgBadFile + " ";
        FUZZ_CHECK(m.rfind(head, 0) == 0, m);
        FUZZ_CHECK(m.find('\n') == std::string::npos, m);
        // The file named first (an archive member's name aside), then its line or the reason.
        const std::string where = m.substr(head.size());
        bool named = false;
        for (const std::string& file : files)
            named = named || where.rfind(file + ", line ", 0) == 0 || where.rfind(file + ": ", 0) == 0;
        FUZZ_CHECK(named, m);
        return;
    }
    FUZZ_CHECK(f.box.shown.empty(), f.box.shown[0]);
    FUZZ_CHECK(app.st.N == want.n && app.st.DataMode == kModeMemory, std::to_string(app.st.N));
    const int n = static_cast<int>(want.n);
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n + 1; ++j) {
            const std::string t = app.grid.text(i, value_column(j));
            const std::optional<float> v = number_of(t);
            const float w = j <= n ? want.a[static_cast<std::size_t>((i - 1) * n + j - 1)]
                                   : want.b[static_cast<std::size_t>(i - 1)];
            FUZZ_CHECK(v && same_bits(*v, w), std::to_string(i) + "," + std::to_string(j) + ": " + t);
        }
        FUZZ_CHECK(app.grid.text(i, x_column(n)) == "0", "");
    }
}

}  // namespace varnex::fuzz
