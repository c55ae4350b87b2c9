// Paste of a clipboard block into a memory-mode system: the input's first three bytes choose the
// order (1..4), the grid row and the grid column of the current cell, the rest is the block. Every
// cell must afterwards hold what the block's rules give, read here again from their description:
// lines (CR LF and a final line end accepted), fields at tabs (trimmed) or at runs of blanks, values
// into a(i,j) and then b(i) from the current value cell on; the rest of the grid stays as it was.
#include <cstdint>

#include "commands/grid_clipboard.h"
#include "core/grid_layout.h"
#include "fuzz/fuzz_support.h"

using namespace varnex;
using namespace varnex::fuzz;

namespace {

std::vector<std::string> tab_fields(const std::string& line) {
    std::vector<std::string> out;
    std::string cur;
    auto trimmed = [](const std::string& s) {
        const std::size_t a = s.find_first_not_of(' ');
        return a == std::string::npos ? std::string() : s.substr(a, s.find_last_not_of(' ') - a + 1);
    };
    for (char c : line) {
        if (c == '\t') {
            out.push_back(trimmed(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(trimmed(cur));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzApp f;
    if (size < 3) return 0;
    App& app = f.app;
    const int n = 1 + data[0] % 4;
    const int row = data[1] % (n + 2), col = data[2] % (system_columns(n) + 1);
    std::string_view text(reinterpret_cast<const char*>(data) + 3, size - 3);

    app.st.N = static_cast<int16_t>(n);
    app.st.DataMode = kModeMemory;
    app.grid.fill_data(static_cast<int16_t>(n));
    std::vector<std::vector<std::string>> want(static_cast<std::size_t>(n) + 1);
    for (int r = 0; r <= n; ++r)
        for (int c = 0; c <= x_column(n); ++c) want[static_cast<std::size_t>(r)].push_back(app.grid.text(r, c));
    f.box.shown.clear();
    const PasteReport rep = paste_cells(app, row, col, text);

    // The block's rules: nothing at all into the approximation column and beyond.
    int written = 0, clipped = 0, skipped = 0;
    if (col < spacer_column(n)) {
        const int start = col <= 1 ? 1 : col % 2 == 1 ? (col + 1) / 2 : col / 2 + 1;
        if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        const bool tabs = text.find('\t') != std::string_view::npos;
        int r = std::max(row, 1);
        for (const std::string& line : text.empty() ? std::vector<std::string>{} : lines_of(text)) {
            const std::vector<std::string> fields = tabs ? tab_fields(line) : tokens_of(line);
            for (std::size_t k = 0; k < fields.size(); ++k) {
                const int v = start + static_cast<int>(k);
                if (r > n || v > n + 1) {
                    ++clipped;
                } else if (fields[k].empty() || fields[k].find(' ') != std::string::npos) {
                    ++skipped;
                } else {
                    want[static_cast<std::size_t>(r)][static_cast<std::size_t>(value_column(v))] = fields[k];
                    ++written;
                }
            }
            ++r;
        }
    }
    FUZZ_CHECK(rep.written == written && rep.clipped == clipped && rep.skipped == skipped,
               std::to_string(rep.written) + " " + std::to_string(rep.clipped) + " " + std::to_string(rep.skipped));
    FUZZ_CHECK(f.box.shown.empty(), f.box.shown[0]);
    for (int r = 0; r <= n; ++r)
        for (int c = 0; c <= x_column(n); ++c)
            FUZZ_CHECK(app.grid.text(r, c) == want[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)],
                       std::to_string(r) + "," + std::to_string(c) + ": " + app.grid.text(r, c));
    return 0;
}
