// varnex-batch as a script runs it: usage and exit codes; the same files, byte for byte, as the window's
// commands write in both storage modes; and things going wrong around it: Ctrl+C while it solves, while
// Connect converts and while Save writes, a second program on the same application folder, and a small
// memory cgroup around an Open too large for it.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "commands/commands.h"
#include "commands/connect_command.h"
#include "commands/open_command.h"
#include "commands/save_command.h"
#include "support/cgroup.h"
#include "support/fakes.h"

using namespace varnex;
namespace fs = std::filesystem;

namespace {

struct ExeRun {
    int code = -1;
    std::string out, err;
};

// Starts the batch program copied into `app` (so that its data folder and row file go there) and
// waits for it; `meanwhile` runs while it does. With `tasks` set, the child joins that cgroup before
// it executes.
ExeRun run_exe(const std::string& app, const std::vector<std::string>& args,
               const std::function<void(pid_t)>& meanwhile = {}, const std::string& tasks = {}) {
    const std::string exe = app + "/varnex-batch";
    if (!fs::exists(exe)) {
        fs::create_directories(app);
        fs::copy_file(VARNEX_BATCH_EXE, exe);
    }
    const std::string out = app + ".out", err = app + ".err";
    // Everything the child needs is made before the fork: it only joins, redirects and executes.
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string pid_line = "0\n";  // "0" joins the writing process itself
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!tasks.empty()) {
            const int t = ::open(tasks.c_str(), O_WRONLY);
            if (t < 0 || ::write(t, pid_line.data(), pid_line.size()) < 0) _exit(126);
            ::close(t);
        }
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || ::dup2(o, STDOUT_FILENO) < 0 || ::dup2(e, STDERR_FILENO) < 0) _exit(127);
        ::execv(exe.c_str(), argv.data());
        _exit(127);
    }
    if (meanwhile) meanwhile(pid);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), test::read_file(out),
            test::read_file(err)};
}

// True once `done` holds, polled for at most `ms` milliseconds.
bool wait_for(const std::function<bool()>& done, int ms) {
    for (int k = 0; k < ms * 5; ++k) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return done();
}

// A system of order n with pseudo-random coefficients, which no sweep settles quickly.
std::string noisy_system(int n) {
    std::string text;
    unsigned seed = 12345;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j <= n; ++j) {
            seed = seed * 1103515245u + 12345u;
            text += std::to_string(static_cast<int>(seed >> 16) % 201 - 100) + ' ';
        }
        text += "\r\n";
    }
    return text;
}

// The value of a "key: value" line of the batch program's output.
std::string field(const std::string& out, const std::string& key) {
    const std::size_t at = out.find("\n" + key + ": ");
    if (at == std::string::npos) return "(no " + key + ")";
    const std::size_t from = at + key.size() + 3;
    return out.substr(from, out.find('\n', from) - from);
}

// Names of Save's hidden temporary files in a folder.
std::vector<std::string> temporaries(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name[0] == '.' && name.find(".~") != std::string::npos) found.push_back(name);
    }
    return found;
}

// Pauses the program (SIGSTOP) and waits until it has stopped, so that a signal comes at a known point.
void pause(pid_t pid) {
    kill(pid, SIGSTOP);
    int status = 0;
    waitpid(pid, &status, WUNTRACED);
}

// Whether the program catches SIGINT yet: its handler is installed.
bool catches_sigint(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1;
    return false;
}

std::uintmax_t size_of(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

// The window's commands, answered by fakes that say Yes: Open or Connect of `system`, "Find  solution",
// then Save (in memory mode as `save_as`); Er and IterCount as the window shows them.
std::pair<std::string, std::string> solve_and_save(test::TestApp& t, void (*command)(App&), const std::string& system,
                                                   const std::optional<std::string>& save_as) {
    t.with_file(command, system);
    cmdSolution_Click(t.app);
    if (save_as) t.cd.next.push_back(*save_as);
    Save_Click(t.app);
    return {t.ui.text(Ctl::txtEr), std::to_string(t.app.st.IterCount)};
}

class BatchExe : public ::testing::Test {
  protected:
    test::TempDir dir;
    const std::string app = dir.path() + "/app";  // the batch program's application folder
};

}  // namespace

TEST_F(BatchExe, SixSystemsGiveTheFilesOfTheWindowsCommandsInBothModes) {
    const std::string data = test::testdata_dir();
    if (data.empty()) GTEST_SKIP() << "no test matrices";
    int k = 0;
    for (const auto& entry : fs::directory_iterator(data)) {
        if (entry.path().extension() != ".txt") continue;
        const std::string name = entry.path().filename().string(), saved = "solved_" + name;
        SCOPED_TRACE(name);
        // Each front end has its own application folder with a copy of the matrix in its data folder.
        test::TestApp t;
        const std::string win = t.dir.path(), bat = dir.path() + "/bat" + std::to_string(k++);
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
        const auto memory_result = solve_and_save(t, Open_Click, win + "/data/" + name, win + "/data/" + saved);
        const auto memory_files = files(win);
        const auto connected_result = solve_and_save(t, Connect_Click, win + "/data/" + saved, std::nullopt);

        ExeRun r = run_exe(bat, {"open", bat + "/data/" + name, "--save", saved});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(std::pair(field(r.out, "Er"), field(r.out, "IterCount")), memory_result);
        EXPECT_TRUE(files(bat) == memory_files);
        r = run_exe(bat, {"connect", bat + "/data/" + saved, "--save", "--replace"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(std::pair(field(r.out, "Er"), field(r.out, "IterCount")), connected_result);
        EXPECT_TRUE(files(bat) == files(win));
    }
    EXPECT_EQ(k, 6);
}

TEST_F(BatchExe, UsageExitCodesAndAFirstRun) {
    ExeRun r = run_exe(app, {"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find("Usage: varnex-batch open SYSTEM.txt"), 0u) << r.out;
    r = run_exe(app, {"open", "sys.txt", "--eps", "1", "--sweeps", "2"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, testing::HasSubstr("--eps and --sweeps exclude each other\n\nUsage:"));
    // A first run writes the samples into the data folder beside the program before Open reads one.
    r = run_exe(app, {"open", app + "/data/sample1.txt", "--sweeps", "2"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(field(r.out, "IterCount"), "3");
    EXPECT_TRUE(fs::exists(app + "/data/sample4.txt"));
}

TEST_F(BatchExe, CtrlCStopsAfterTheSweepInProgressAndSavesWhileASecondProgramFindsTheRowFileTaken) {
    // An order-200 system of pseudo-random coefficients: every sweep moves it a little, so 32766
    // clicks would take seconds. The SIGINT comes once the row file is there, when the program has its
    // handler and is converting or solving.
    const std::string system = dir.write("app/data/noisy.txt", noisy_system(200));
    const std::string second = dir.write("app/data/second.txt", "2 1 3\r\n1 3 5\r\n");
    ExeRun other;
    const ExeRun r = run_exe(app, {"connect", system, "--sweeps", "32766", "--save"}, [&](pid_t pid) {
        ASSERT_TRUE(wait_for([&] { return fs::exists(app + "data.vnx"); }, 20000));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        other = run_exe(app, {"connect", second});
        kill(pid, SIGINT);
    });
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(field(r.out, "ended"), "stopped");
    EXPECT_LT(std::stoi(field(r.out, "sweeps")), 32766);
    EXPECT_EQ(field(r.out, "saved"), app + "/data/solutions/noisy.txt");
    EXPECT_THAT(r.err, testing::HasSubstr("stopping after the sweep in progress"));
    // The second program, started while the first held the row file, touched nothing; afterwards the
    // lock is gone with its holder.
    EXPECT_EQ(other.code, 1);
    EXPECT_THAT(other.err, testing::HasSubstr(" is in use by another VARNEX SOLVER"));
    EXPECT_EQ(run_exe(app, {"connect", second}).code, 0);
}

TEST_F(BatchExe, CtrlCDuringConnectCompletesTheRowFileAndASecondOneEndsAtOnce) {
    // Order 1000: a row file of 128 MB. The program is paused as soon as the file is begun and gets
    // its Ctrl+C there; the first of two Ctrl+C comes before.
    const int n = 1000;
    const std::uintmax_t whole = static_cast<std::uintmax_t>(n) * (n + 1) * 128;
    const std::string text = noisy_system(n);
    for (int presses : {1, 2}) {
        SCOPED_TRACE(presses);
        const std::string folder = "app" + std::to_string(presses);
        const std::string each = dir.path() + "/" + folder;  // an application folder for each run
        const std::string rows = each + "data.vnx";
        const std::string system = dir.write(folder + "/data/big.txt", text);
        bool converting = false;
        const ExeRun r = run_exe(each, {"connect", system, "--sweeps", "1", "--save"}, [&](pid_t pid) {
            if (presses == 2) {
                wait_for([&] { return catches_sigint(pid); }, 20000);
                kill(pid, SIGINT);
            }
            wait_for([&] { return size_of(rows) > 0; }, 20000);
            pause(pid);
            converting = size_of(rows) < whole;
            kill(pid, SIGINT);
            kill(pid, SIGCONT);
        });
        ASSERT_TRUE(converting) << "the conversion was over before Ctrl+C";
        EXPECT_TRUE(test::read_file(system) == text) << "the system file changed";
        if (presses == 1) {
            // The conversion ends whole, no sweep follows, and Save still writes the solution.
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_THAT(r.out, testing::HasSubstr("\nsweeps: 0\n"));
            EXPECT_THAT(r.out, testing::HasSubstr("\nended: stopped\n"));
            EXPECT_EQ(size_of(rows), whole);
            EXPECT_THAT(r.out, testing::HasSubstr("\nsaved: " + each + "/data/solutions/big.txt\n"));
        } else {
            // Ended in the middle of the conversion with no result, and its lock on the row file with it.
            EXPECT_EQ(r.code, 128 + SIGINT);
            EXPECT_EQ(r.out, "");
            EXPECT_LT(size_of(rows), whole);
            EXPECT_EQ(run_exe(each, {"connect", dir.write(folder + "/data/two.txt", "2 1 3\r\n1 3 5\r\n")}).code, 0);
        }
        EXPECT_TRUE(temporaries(each + "/data/solutions").empty());
    }
}

TEST_F(BatchExe, SigtermThenCtrlCWhileSaveWritesLeaveBothFilesWhole) {
    const std::string system = dir.write("app/data/big.txt", noisy_system(1200));
    bool saving = false;
    const ExeRun r = run_exe(app, {"open", system, "--sweeps", "1", "--save", "saved.txt"}, [&](pid_t pid) {
        // A shutdown's SIGTERM asks the run to stop; a Ctrl+C while Save writes does not end it half-way.
        wait_for([&] { return catches_sigint(pid); }, 20000);
        kill(pid, SIGTERM);
        wait_for([&] { return !temporaries(app + "/data").empty(); }, 20000);
        pause(pid);
        saving = !temporaries(app + "/data").empty();
        kill(pid, SIGINT);
        kill(pid, SIGCONT);
    });
    ASSERT_TRUE(saving) << "Save was over before it could be interrupted";
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(size_of(app + "/data/saved.txt"), size_of(system));
    EXPECT_TRUE(fs::exists(app + "/data/solutions/saved.txt"));
    EXPECT_TRUE(temporaries(app + "/data").empty());
    EXPECT_TRUE(temporaries(app + "/data/solutions").empty());
}

TEST_F(BatchExe, InsideASmallMemoryCgroupOpenSaysWhyInsteadOfBeingKilled) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit a 64 MB cgroup";
#endif
    // A cgroup v1 memory group of its own, removed again once its processes have ended.
    const std::string group = test::make_cgroup(
        "/sys/fs/cgroup/memory", {{"memory.limit_in_bytes", std::to_string(64u << 20)}, {"memory.swappiness", "0"}});
    if (group.empty()) GTEST_SKIP() << "no cgroup v1 memory group can be made here";
    // Order 3000: grid and A need well over 64 MB.
    std::string text;
    for (int k = 1; k <= 3000 * 3001; ++k) text += k % 3001 ? "1 " : "1 \r\n";
    const ExeRun r =
        run_exe(app, {"open", dir.write("app/data/order3000.txt", text), "--sweeps", "1"}, {}, group + "/cgroup.procs");
    for (int k = 0; k < 50 && ::rmdir(group.c_str()) != 0; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_THAT(r.err,
                testing::HasSubstr(" Sorry, not enough memory. Please try the option-'Connect to' from the File Menu"));
}
