// The text system reader as the Open command uses it: the input is the file. The grid, the order
// and the messages must be what the format says, read here line by line and token by token.
#include <cstdint>

#include "commands/open_command.h"
#include "core/grid_layout.h"
#include "fuzz/fuzz_support.h"

using namespace varnex;
using namespace varnex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzApp f;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The system in force before: order 1, its cells written.
    App& app = f.next_input();
    app.grid.fill_data(1);
    app.grid.set_text(1, 1, "old");
    std::filesystem::remove(app.app_folder + "/data/solutions/sys.txt");
    f.cd.next = f.write("data/sys.txt", text);
    Open_Click(app);

    const std::vector<std::string> lines = lines_of(text);
    const std::vector<std::string> first = lines.empty() ? std::vector<std::string>{} : tokens_of(lines[0]);
    // No order of at least 1 that the grid can lay out: the earlier system stays, MsgBadFile.
    if (first.size() < 2 || first.size() - 1 > 16381) {
        FUZZ_CHECK(app.st.N == 1 && app.grid.text(1, 1) == "old", std::to_string(first.size()));
        FUZZ_CHECK(f.box.shown == std::vector<std::string>{app.st.msg.MsgBadFile}, "");
        return 0;
    }
    const int n = static_cast<int>(first.size()) - 1;
    FUZZ_CHECK(app.st.N == n, std::to_string(app.st.N));
    bool bad = false;
    for (int k = 1; k <= n; ++k) {
        if (static_cast<std::size_t>(k) > lines.size()) {
            // A row that the file does not reach keeps its placeholders.
            for (int j = 1; j <= n; ++j) FUZZ_CHECK(app.grid.text(k, a_column(j)) == placeholder_a(k, j), "");
            FUZZ_CHECK(app.grid.text(k, b_column(n)) == placeholder_b(k), "");
            continue;
        }
        const std::vector<std::string> y = tokens_of(lines[static_cast<std::size_t>(k) - 1]);
        // A blank line inside the system, or one of more tokens than get_row can count, is refused.
        if ((k > 1 && y.empty()) || y.size() > 32767) {
            bad = true;
            break;
        }
        for (int j = 1; j <= n + 1; ++j) {
            if (static_cast<std::size_t>(j) > y.size()) {
                bad = true;
                break;
            }
            FUZZ_CHECK(app.grid.text(k, value_column(j)) == y[static_cast<std::size_t>(j) - 1], std::to_string(k));
        }
        if (bad) break;
    }
    if (bad) {
        FUZZ_CHECK(f.box.shown == std::vector<std::string>{app.st.msg.MsgBadFile}, "");
    } else {
        FUZZ_CHECK(f.box.shown.empty(), f.box.shown.empty() ? "" : f.box.shown[0]);
        for (int k = 1; k <= n; ++k) FUZZ_CHECK(app.grid.text(k, x_column(n)) == "0", "");
    }
    FUZZ_CHECK(app.st.DataMode == kModeMemory && app.st.X.size() == static_cast<std::size_t>(n) + 1, "");
    return 0;
}
