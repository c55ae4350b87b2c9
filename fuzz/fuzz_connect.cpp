// The Connect conversion: the input is the text system file. Every record that the conversion wrote
// must hold the value bytes of its token (little-endian single precision, record (N+1)(i-1)+j at
// byte 128(r-1)), the conversion must stop at the first token that is missing or not a number with
// MsgBadNumber, and the order must follow from the first line.
#include <bit>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "commands/connect_command.h"
#include "fuzz/fuzz_support.h"

using namespace varnex;
using namespace varnex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzApp f;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    App& app = f.next_input();
    app.st.DataMode = kModeEmpty;
    const std::string rows = row_file_path(app.app_folder);
    std::filesystem::remove(rows);
    f.cd.next = f.write("data/sys.txt", text);
    Connect_Click(app);

    // The records the format asks for, in the order they are written, up to the first failure.
    const std::vector<std::string> lines = lines_of(text);
    std::vector<float> want;
    bool bad = lines.empty();
    int n = 0;
    if (!bad) {
        const std::size_t m = tokens_of(lines[0]).size();
        bad = m < 2 || m > 32767;
        n = static_cast<int>(m) - 1;
    }
    for (int k = 1; !bad && k <= n && static_cast<std::size_t>(k) <= lines.size(); ++k) {
        const std::vector<std::string> y = tokens_of(lines[static_cast<std::size_t>(k) - 1]);
        for (int j = 1; j <= n + 1; ++j) {
            std::optional<float> v;
            if (static_cast<std::size_t>(j) <= y.size()) v = number_of(y[static_cast<std::size_t>(j) - 1]);
            if (!v) {
                bad = true;
                break;
            }
            want.push_back(*v);
        }
        if (y.size() > 32767) bad = true;
    }

    std::ifstream in(rows, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bad) {
        FUZZ_CHECK(f.box.shown == std::vector<std::string>{app.st.msg.MsgBadNumber}, "");
        FUZZ_CHECK(app.st.N == 1 && app.st.DataMode == kModeEmpty, std::to_string(app.st.N));
    } else {
        FUZZ_CHECK(f.box.shown.empty(), f.box.shown.empty() ? "" : f.box.shown[0]);
        FUZZ_CHECK(app.st.N == n && app.st.DataMode == kModeConnected, std::to_string(app.st.N));
    }
    // Nothing beyond the records written (a record may end right after its value bytes).
    FUZZ_CHECK(bytes.size() <= 128 * want.size(), std::to_string(bytes.size()));
    if (!want.empty()) FUZZ_CHECK(bytes.size() >= 128 * (want.size() - 1) + 4, std::to_string(bytes.size()));
    for (std::size_t r = 0; r < want.size(); ++r) {
        const std::uint32_t u = std::bit_cast<std::uint32_t>(want[r]);
        const char le[4] = {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
        FUZZ_CHECK(bytes.compare(128 * r, 4, le, 4) == 0, "record " + std::to_string(r + 1));
    }
    return 0;
}
