// varnex-batch as a script runs it, beside the main window driven offscreen through its menus and
// buttons: the same systems give the same files, byte for byte, in both storage modes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/fakes.h"
#include "support/window.h"

using namespace varnex;
namespace fs = std::filesystem;

namespace {

struct ExeResult {
    int code = -1;
    std::string out, err;
};

// Runs the batch program as the application folder `app` holds it (a copy, so that its data folder
// and row file go there). With `interrupt` set, it gets a SIGINT shortly after its row file appears,
// when it has its handler and is converting or solving.
ExeResult run_exe(const std::string& app, const std::vector<std::string>& args, bool interrupt = false) {
    const std::string exe = app + "/varnex-batch";
    if (!fs::exists(exe)) {
        fs::create_directories(app);
        fs::copy_file(VARNEX_BATCH_EXE, exe);
    }
    const std::string out = app + "/../stdout", err = app + "/../stderr";
    // Everything the child needs is made before the fork: it only redirects and executes.
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || dup2(o, STDOUT_FILENO) < 0 || dup2(e, STDERR_FILENO) < 0) _exit(127);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    if (interrupt) {
        const std::string row_file = app + "data.vnx";
        for (int k = 0; k < 2000 && !fs::exists(row_file); ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(pid, SIGINT);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ExeResult r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = test::read_file(out);
    r.err = test::read_file(err);
    return r;
}

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

std::string er(test::Window& window) { return window.w.app().ui->text(Ctl::txtEr); }
std::string iter_count(test::Window& window) { return std::to_string(window.w.app().st.IterCount); }

class BatchExe : public ::testing::Test {
  protected:
    BatchExe() { qt(); }  // the window's tests need the application object
    test::TempDir dir;
    test::CwdGuard cwd;
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
        const std::string memory_er = er(window), memory_iter_count = iter_count(window);
        const auto memory_files = files(win);
        solve_and_save(window, "Connect", win + "/data/" + saved, "");
        ASSERT_EQ(window.boxes.shown,
                  std::vector<std::string>{"Such file exists. Do you want to replace the old file?" + win +
                                           "/data/solutions/" + saved});
        EXPECT_GT(memory_files.first.size(), memory_files.second.size());
        EXPECT_GT(memory_files.second.size(), 2u);

        ExeResult r = run_exe(bat, {"open", bat + "/data/" + name, "--save", saved});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(without_progress(r.err), "");
        EXPECT_EQ(field(r.out, "Er"), memory_er);
        EXPECT_EQ(field(r.out, "IterCount"), memory_iter_count);
        EXPECT_TRUE(files(bat) == memory_files);
        r = run_exe(bat, {"connect", bat + "/data/" + saved, "--save", "--replace"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(field(r.out, "Er"), er(window));
        EXPECT_EQ(field(r.out, "IterCount"), iter_count(window));
        EXPECT_TRUE(files(bat) == files(win));
    }
    EXPECT_EQ(k, 6);
}

TEST_F(BatchExe, UsageExitCodesAndAFirstRun) {
    const std::string app = dir.path() + "/app";
    ExeResult r = run_exe(app, {"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find("Usage: varnex-batch open SYSTEM.txt"), 0u) << r.out;
    r = run_exe(app, {"open", "sys.txt", "--eps", "1", "--sweeps", "2"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--eps and --sweeps exclude each other\n\nUsage:"), std::string::npos) << r.err;
    // A first run writes the samples into the data folder beside the program before Open reads one.
    r = run_exe(app, {"open", app + "/data/sample1.txt", "--sweeps", "2"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(field(r.out, "IterCount"), "3");
    EXPECT_TRUE(fs::exists(app + "/data/sample4.txt"));
}

TEST_F(BatchExe, InterruptStopsAfterTheSweepInProgressAndStillSaves) {
    // An order-200 system of pseudo-random coefficients: every sweep moves it a little, so 32766
    // clicks would take seconds.
    std::string text;
    unsigned seed = 12345;
    for (int i = 0; i < 200; ++i) {
        for (int j = 0; j <= 200; ++j) {
            seed = seed * 1103515245u + 12345u;
            text += std::to_string(static_cast<int>(seed >> 16) % 201 - 100) + ' ';
        }
        text += "\r\n";
    }
    const std::string app = dir.path() + "/app";
    const std::string system = dir.write("app/data/noisy.txt", text);
    const ExeResult r = run_exe(app, {"connect", system, "--sweeps", "32766", "--save"}, true);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(field(r.out, "ended"), "stopped");
    EXPECT_LT(std::stoi(field(r.out, "sweeps")), 32766);
    EXPECT_EQ(field(r.out, "saved"), app + "/data/solutions/noisy.txt");
    EXPECT_NE(r.err.find("stopping after the sweep in progress"), std::string::npos);
}
