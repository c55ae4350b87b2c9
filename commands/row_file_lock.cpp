#include "commands/row_file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "core/row_file.h"

namespace varnex {

namespace {

// The descriptor that carries the lock and the path it was taken for; one per process.
std::mutex g_mutex;
int g_fd = -1;
std::string g_path;

void let_go() {
    if (g_fd >= 0) ::close(g_fd);  // closing the only descriptor of the open file drops its flock
    g_fd = -1;
    g_path.clear();
}

// True when the path still names the file whose lock this program holds (not a new file that took its
// place after the held one was removed or renamed).
bool names_locked_file(const std::string& path) {
    struct stat held {
    }, now{};
    return ::fstat(g_fd, &held) == 0 && ::lstat(path.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
           held.st_ino == now.st_ino;
}

}  // namespace

LockResult lock_row_file(const std::string& path) {
    std::lock_guard<std::mutex> hold(g_mutex);
    if (g_fd >= 0 && g_path == path && names_locked_file(path)) return LockResult::Held;
    let_go();
    // Created when missing, as its writer would create it; never truncated; never through a link.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0) {
        struct stat sb {};
        const bool other = ::lstat(path.c_str(), &sb) == 0 && !S_ISREG(sb.st_mode);
        return other ? LockResult::Refused : LockResult::Failed;
    }
    struct stat sb {};
    if (::fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
        ::close(fd);
        return LockResult::Refused;
    }
    int r;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? LockResult::Busy : LockResult::Failed;
    }
    g_fd = fd;
    g_path = path;
    return LockResult::Held;
}

void unlock_row_file() {
    std::lock_guard<std::mutex> hold(g_mutex);
    let_go();
}

bool report_lock(LockResult result, const std::string& path, App& app) {
    if (result == LockResult::Busy) {
        app.box->message(row_file_busy(path));
        return true;
    }
    if (result != LockResult::Refused) return false;
    struct stat sb {};
    app.ui->status(row_file_refusal(path, ::lstat(path.c_str(), &sb) == 0 && S_ISLNK(sb.st_mode)));
    app.box->message(app.st.msg.MsgBadFile);
    return true;
}

std::string row_file_busy(const std::string& path) {
    return " Sorry, the row file " + path +
           " is in use by another VARNEX SOLVER (a window or varnex-batch in connected mode); try again when it "
           "has finished.";
}

}  // namespace varnex
