#include "support/fakes.h"

#include <fstream>
#include <sstream>

namespace varnex::test {

bool FakeBoxes::ask_yes_no(std::string_view t) {
    shown.emplace_back(t);
    if (answers.empty()) return true;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

bool FakeDialog::show() {
    offered.push_back(FileName);
    init_dirs.push_back(InitDir);
    if (next.empty()) return false;
    auto a = next.front();
    next.pop_front();
    if (!a) return false;
    FileName = *a;
    return true;
}

TestApp::TestApp() {
    app.ui = &ui;
    app.box = &box;
    app.cd = &cd;
    app.clock = &clock;
    app.app_folder = dir.path();
    app.st.msg.fill();
    ui.set_text(Ctl::txtEps, "0.5");
    for (int k = 0; k < 3; ++k) ui.set_text(txt_index(k), "1");
}

std::string system_texts(const App& app) {
    std::string s;
    for (int i = 1; i <= app.st.N; ++i) {
        if (i > 1) s += " | ";
        for (int j = 1; j <= app.st.N + 1; ++j) (j > 1 ? s += ' ' : s) += app.grid.text(i, 2 * j - 1);
    }
    return s;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return {};
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string testdata_dir() {
    std::string d = VARNEX_TESTDATA_DIR;
    return std::filesystem::is_directory(d) ? d : std::string();
}

std::string testdata(const std::string& name) {
    const std::string path = testdata_dir() + "/" + name;
    return std::filesystem::exists(path) ? path : std::string();
}

}  // namespace varnex::test
