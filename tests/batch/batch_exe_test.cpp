// varnex-batch as a script runs it, beside the main window driven offscreen through its menus and
// buttons: the same systems give the same files, byte for byte, in both storage modes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QPushButton>
#include <chrono>
#include <filesystem>
#include <thread>

#include "exe.h"
#include "support/fakes.h"
#include "support/window.h"

using namespace varnex;
namespace fs = std::filesystem;

namespace {

// The value of a "key: value" line of the batch program's output.
std::string field(const std::string& out, const std::string& key) {
    const std::size_t at = out.find("\n" + key + ": ");
    if (at == std::string::npos) return "(no " + key + ")";
    const std::size_t from = at + key.size() + 3;
    return out.substr(from, out.find('\n', from) - from);
}

// stderr without its progress lines (a slow build may run long enough to print some).
std::string without_progress(const std::string& err) {
    std::string kept;
    for (std::size_t at = 0; at < err.size();) {
        const std::size_t end = std::min(err.find('\n', at), err.size() - 1) + 1;
        if (err.compare(at, 6, "sweep ") != 0) kept += err.substr(at, end - at);
        at = end;
    }
    return kept;
}

QApplication& qt() {
    static int argc = 1;
    static char name[] = "batch_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// Open or Connect of `system` in the window, "Find  solution", then Save (in memory mode as `save_as`).
void solve_and_save(test::Window& window, const char* command, const std::string& system, const std::string& save_as) {
    window.open(system, command);
    window.get<QPushButton>("cmdSolution")->click();
    // Connected mode's Save shows no dialog.
    if (!save_as.empty()) window.cd.next.push_back(save_as);
    window.trigger("Save");
}

// Er and IterCount as the window shows them and as the batch program prints them.
std::pair<std::string, std::string> result(test::Window& window) {
    return {window.w.app().ui->text(Ctl::txtEr), std::to_string(window.w.app().st.IterCount)};
}
std::pair<std::string, std::string> er_and_count(const std::string& out) {
    return {field(out, "Er"), field(out, "IterCount")};
}

class BatchExe : public ::testing::Test {
  protected:
    BatchExe() { qt(); }  // the window's tests need the application object
    test::TempDir dir;
    test::CwdGuard cwd;
    const std::string app = dir.path() + "/app";  // the batch program's application folder
};

}  // namespace

TEST_F(BatchExe, SixSystemsGiveTheWindowsFilesInBothModes) {
    const std::string data = test::testdata_dir();
    if (data.empty()) GTEST_SKIP() << "no test matrices";
    int k = 0;
    for (const auto& entry : fs::directory_iterator(data)) {
        if (entry.path().extension() != ".txt") continue;
        const std::string name = entry.path().filename().string(), saved = "solved_" + name;
        SCOPED_TRACE(name);
        // Each front end has its own application folder with a copy of the matrix in its data folder.
        const std::string win = dir.path() + "/win" + std::to_string(k), bat = dir.path() + "/bat" + std::to_string(k);
        ++k;
        for (const std::string& app : {win, bat}) {
            fs::create_directories(app + "/data");
            fs::copy_file(entry.path(), app + "/data/" + name);
        }
        auto files = [&](const std::string& app) {
            return std::pair{test::read_file(app + "/data/" + saved),
                             test::read_file(app + "/data/solutions/" + saved)};
        };
        // Memory mode, saved under another name; then connected mode on the saved system, which starts
        // from its stored solution and saves that solution again.
        // The window's fakes answer every question with Yes.
        test::Window window(win);
        solve_and_save(window, "Open", win + "/data/" + name, win + "/data/" + saved);
        const auto memory_result = result(window);
        const auto memory_files = files(win);
        solve_and_save(window, "Connect", win + "/data/" + saved, "");
        ASSERT_EQ(window.boxes.shown,
                  std::vector<std::string>{"Such file exists. Do you want to replace the old file?" + win +
                                           "/data/solutions/" + saved});
        EXPECT_GT(memory_files.first.size(), memory_files.second.size());
        EXPECT_GT(memory_files.second.size(), 2u);

        test::ExeRun r = test::run_exe(bat, {"open", bat + "/data/" + name, "--save", saved});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(without_progress(r.err), "");
        EXPECT_EQ(er_and_count(r.out), memory_result);
        EXPECT_TRUE(files(bat) == memory_files);
        r = test::run_exe(bat, {"connect", bat + "/data/" + saved, "--save", "--replace"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(er_and_count(r.out), result(window));
        EXPECT_TRUE(files(bat) == files(win));
    }
    EXPECT_EQ(k, 6);
}

TEST_F(BatchExe, UsageExitCodesAndAFirstRun) {
    test::ExeRun r = test::run_exe(app, {"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find("Usage: varnex-batch open SYSTEM.txt"), 0u) << r.out;
    r = test::run_exe(app, {"open", "sys.txt", "--eps", "1", "--sweeps", "2"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, testing::HasSubstr("--eps and --sweeps exclude each other\n\nUsage:"));
    // A first run writes the samples into the data folder beside the program before Open reads one.
    r = test::run_exe(app, {"open", app + "/data/sample1.txt", "--sweeps", "2"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(field(r.out, "IterCount"), "3");
    EXPECT_TRUE(fs::exists(app + "/data/sample4.txt"));
}

TEST_F(BatchExe, InterruptStopsAfterTheSweepInProgressAndStillSaves) {
    // An order-200 system of pseudo-random coefficients: every sweep moves it a little, so 32766
    // clicks would take seconds. The SIGINT comes once the row file is there, when the program has its
    // handler and is converting or solving.
    const std::string system = dir.write("app/data/noisy.txt", test::noisy_system(200));
    const test::ExeRun r = test::run_exe(app, {"connect", system, "--sweeps", "32766", "--save"}, [&](pid_t pid) {
        test::wait_for([&] { return fs::exists(app + "data.vnx"); }, 20000);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(pid, SIGINT);
    });
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(field(r.out, "ended"), "stopped");
    EXPECT_LT(std::stoi(field(r.out, "sweeps")), 32766);
    EXPECT_EQ(field(r.out, "saved"), app + "/data/solutions/noisy.txt");
    EXPECT_THAT(r.err, testing::HasSubstr("stopping after the sweep in progress"));
}
