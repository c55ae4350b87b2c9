#pragma once
// The batch program started as a script starts it, with its exit code and output, for the tests that
// run the executable itself.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/fakes.h"

namespace varnex::test {

struct ExeRun {
    int code = -1;
    std::string out, err;
};

/// Starts the batch program copied into `app` (so that its data folder and row file go there) and
/// waits for it; `meanwhile` runs while it does. With `tasks` set, the child joins that cgroup before
/// it executes.
inline ExeRun run_exe(const std::string& app, const std::vector<std::string>& args,
                      const std::function<void(pid_t)>& meanwhile = {}, const std::string& tasks = {}) {
    namespace fs = std::filesystem;
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
    ExeRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

/// True once `done` holds, polled for at most `ms` milliseconds.
inline bool wait_for(const std::function<bool()>& done, int ms) {
    for (int k = 0; k < ms * 5; ++k) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return done();
}

/// A system of order n with pseudo-random coefficients, which no sweep settles quickly.
inline std::string noisy_system(int n) {
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

}  // namespace varnex::test
