#include "files/stale_temporaries.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>

namespace varnex {

namespace {

// The process number of a temporary file's name ".NAME.~PID-K", or 0 when the name is not one.
pid_t temporary_owner(std::string_view name) {
    if (name.size() < 6 || name[0] != '.') return 0;
    const std::size_t mark = name.rfind(".~");
    if (mark == std::string_view::npos || mark < 1) return 0;
    std::string_view rest = name.substr(mark + 2);
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size() || dash > 9) return 0;
    for (std::size_t i = 0; i < rest.size(); ++i)
        if (i != dash && (rest[i] < '0' || rest[i] > '9')) return 0;
    long pid = 0;
    for (char c : rest.substr(0, dash)) pid = pid * 10 + (c - '0');
    return static_cast<pid_t>(pid);
}

bool process_gone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

int clean_folder(const std::string& folder) {
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const pid_t pid = temporary_owner(name);
        if (pid <= 0 || pid == ::getpid() || !process_gone(pid)) continue;
        struct stat sb {};
        const std::string path = it->path().string();
        if (::lstat(path.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) && ::unlink(path.c_str()) == 0) ++removed;
    }
    return removed;
}

}  // namespace

int remove_stale_temporaries(const std::string& app_folder) {
    return clean_folder(app_folder + "/data") + clean_folder(app_folder + "/data/solutions");
}

}  // namespace varnex
