#include "commands/grid_clipboard.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "core/grid_layout.h"
#include "files/text_io.h"

namespace varnex {

namespace {

// The grid holds the system layout of the current order N.
bool system_layout(const App& app) {
    const int n = app.st.N;
    return app.st.DataMode == kModeMemory && n >= 1 && app.grid.has_system_shape(n);
}

bool solution_layout(const App& app) {
    return app.st.DataMode == kModeConnected && app.grid.rows() == app.st.N + 1 && app.grid.cols() == kSolutionColumns;
}

// Whether grid column c holds values (a(i,j), b(i), x(i)) in the grid's layout.
bool holds_values(const App& app, int c) {
    if (system_layout(app)) {
        const int n = app.st.N;
        return (c % 2 == 1 && c <= b_column(n)) || c == x_column(n);
    }
    return solution_layout(app) && c == kSolutionXColumn;
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// Splits one line of the block into fields: at tabs (trimmed) or at runs of blanks.
void split_fields(std::string_view line, bool tabs, std::vector<std::string_view>& fields) {
    if (!tabs) {
        split_tokens(line, fields);
        return;
    }
    fields.clear();
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(trim_blanks(line.substr(0, tab)));
        if (tab == std::string_view::npos) break;
        line.remove_prefix(tab + 1);
    }
}

std::string count_text(int k, const char* one, const char* many) {
    return std::to_string(k) + ' ' + (k == 1 ? one : many);
}

}  // namespace

std::string copy_cells(const App& app, int top, int left, int bottom, int right) {
    std::string out, scratch;
    top = std::max(top, 1);
    left = std::max(left, 1);
    bottom = std::min(bottom, app.grid.rows() - 1);
    right = std::min(right, app.grid.cols() - 1);
    for (int r = top; r <= bottom; ++r) {
        if (r > top) out += '\n';
        bool first = true;
        for (int c = left; c <= right; ++c) {
            if (!holds_values(app, c)) continue;
            if (!first) out += '\t';
            out += app.grid.text(r, c, scratch);
            first = false;
        }
    }
    // A block without a single value column copies nothing, not a column of line ends.
    for (int c = left; c <= right; ++c)
        if (holds_values(app, c)) return out;
    return {};
}

PasteReport paste_cells(App& app, int row, int col, std::string_view text) {
    PasteReport rep;
    if (!system_layout(app)) {
        app.ui->status(app.st.DataMode == kModeConnected
                           ? "Paste: a connected system shows only its solution, which Paste does not change"
                           : "Paste: there is no system in the grid to paste into");
        return rep;
    }
    const int n = app.st.N;
    if (col >= spacer_column(n)) {
        app.ui->status("Paste: the approximation column is read-only; nothing was pasted");
        return rep;
    }
    row = std::max(row, 1);
    // Value number v: a(i,v) for v <= N, b(i) for v = N + 1. An operator cell (even column) starts
    // the block at the value after it.
    const int start = col <= 1 ? 1 : col % 2 == 1 ? value_number(col) : value_number(col) + 1;
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const bool tabs = text.find('\t') != std::string_view::npos;
    std::vector<std::string_view> fields;
    LineReader lines(text);
    try {
        for (int r = row; !lines.at_end(); ++r) {
            split_fields(lines.next(), tabs, fields);
            for (std::size_t k = 0; k < fields.size(); ++k) {
                const long v = start + static_cast<long>(k);
                const std::string_view f = fields[k];
                if (r > n || v > n + 1) {
                    ++rep.clipped;
                } else if (f.empty() || f.find(' ') != std::string_view::npos) {
                    ++rep.skipped;
                } else {
                    const int c = value_column(static_cast<int>(v));
                    app.grid.set_text(r, c, f);
                    if (rep.written++ == 0) rep.top = r, rep.left = c;
                    rep.left = std::min(rep.left, c);
                    rep.bottom = r;
                    rep.right = std::max(rep.right, c);
                }
            }
        }
    } catch (const std::exception&) {
        app.box->message(app.st.msg.MsgNoMemory);
    }
    std::string note = "pasted " + count_text(rep.written, "value", "values");
    if (rep.clipped > 0)
        note += "; " + count_text(rep.clipped, "value lay", "values lay") +
                " outside the system's a(i,j) and b(i) cells and " + (rep.clipped == 1 ? "was" : "were") + " left out";
    if (rep.skipped > 0)
        note += "; " + count_text(rep.skipped, "field was", "fields were") + " empty or held a blank and left " +
                (rep.skipped == 1 ? "its cell" : "their cells") + " unchanged";
    app.ui->status(note);
    return rep;
}

}  // namespace varnex
