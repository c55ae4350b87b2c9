// The solution reader with its name rule. The input is "path NUL content [NUL order]": the solution
// name of the path must be the text after its first "data" and the one character after that, and
// when that names a plain file in the solutions folder, the reader must take its first line's first
// N tokens as numbers, or report MsgBadFile and keep the values read before.
#include <cstdint>

#include "commands/open_command.h"
#include "core/convert.h"
#include "files/text_files.h"
#include "fuzz/fuzz_support.h"

using namespace varnex;
using namespace varnex::fuzz;

namespace {

// The rule spelt out: p is the 1-based position of the first "data", 0 when none; the name is the
// text from position p + 5 on.
std::string name_by_rule(const std::string& path) {
    std::size_t p = 0;
    for (std::size_t i = 0; i + 4 <= path.size(); ++i) {
        if (path.compare(i, 4, "data") == 0) {
            p = i + 1;
            break;
        }
    }
    const std::size_t from = p + 5;  // 1-based
    return from > path.size() ? std::string() : path.substr(from - 1);
}

bool plain_name(const std::string& name) {
    return !name.empty() && name.size() < 200 && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzApp f;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\0');
    const std::string path = input.substr(0, cut);
    std::string content = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    int n = 3;
    if (const std::size_t cut2 = content.find('\0'); cut2 != std::string::npos) {
        n = cut2 + 1 < content.size() ? static_cast<unsigned char>(content[cut2 + 1]) % 40 : 0;
        content.resize(cut2);
    }
    const std::string name = name_by_rule(path);
    FUZZ_CHECK(solution_name(path) == name, path);
    if (!plain_name(name)) return 0;

    App& app = f.app;
    app.st.N = static_cast<int16_t>(n);
    f.box.shown.clear();
    const std::string file = f.write("data/solutions/" + name, content);
    std::vector<float> x(static_cast<std::size_t>(n) + 1, 7.0f);
    get_solution(app, path, x);
    std::filesystem::remove(file);

    const std::vector<std::string> lines = lines_of(content);
    bool bad = lines.empty();
    std::vector<float> want(static_cast<std::size_t>(n) + 1, 0.0f);
    want[0] = 7.0f;  // element 0 is never written
    if (!bad) {
        const std::vector<std::string> y = tokens_of(lines[0]);
        if (y.size() > 32767) bad = true;
        for (int i = 1; i <= n && !bad; ++i) {
            std::optional<float> v;
            if (static_cast<std::size_t>(i) <= y.size()) v = number_of(y[static_cast<std::size_t>(i) - 1]);
            if (!v) {
                bad = true;
                break;
            }
            want[static_cast<std::size_t>(i)] = *v;
        }
    }
    FUZZ_CHECK(f.box.shown == (bad ? std::vector<std::string>{app.st.msg.MsgBadFile} : std::vector<std::string>{}),
               content);
    for (int i = 0; i <= n; ++i)
        FUZZ_CHECK(std::memcmp(&x[static_cast<std::size_t>(i)], &want[static_cast<std::size_t>(i)], 4) == 0,
                   std::to_string(i));
    return 0;
}
