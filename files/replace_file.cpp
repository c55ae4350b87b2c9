#include "files/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/ascii.h"

namespace varnex {

namespace fs = std::filesystem;

namespace {

long system_write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

// Enough to write a solution line or a marker in one call, and large lines of a system file in few.
constexpr std::size_t kBufferSize = 64 * 1024;

[[noreturn]] void fail(int code) { throw SystemFileError(code); }

// The file that the bytes are really meant for: the target itself, or the file that a symbolic link
// names, so that replacing it keeps the link.
std::string real_target(const std::string& target) {
    std::error_code ec;
    if (!fs::is_symlink(target, ec)) return target;
    fs::path resolved = fs::weakly_canonical(target, ec);
    return ec ? target : resolved.string();
}

// Sync the folder so that the rename itself survives a power cut; a folder that cannot be opened or
// synced (some file systems refuse) costs only that guarantee.
void sync_folder(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : file.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

WriteCall replacing_file_write = system_write;

SystemFileError::SystemFileError(int code)
    : RunError(ErrorKind::FileError, std::strerror(code)), code_(code) {}

std::string failure_reason(int code) {
    if (code == ENOSPC || code == EDQUOT) return "the disk is full";
    if (code == ENOMEM) return "not enough memory";
    std::string text = std::strerror(code);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && !(text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z'))
        text[0] = ascii_lower(text[0]);
    return text;
}

ReplacingFile::ReplacingFile(const std::string& target) : target_(real_target(target)) {
    // An existing target must be writable for the user, as opening it for writing would demand: the
    // rename would otherwise replace a file that its owner made read-only.
    struct stat old {};
    const bool exists = ::stat(target_.c_str(), &old) == 0;
    if (exists) {
        int probe = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0) fail(errno);
        ::close(probe);
    }
    buf_.resize(kBufferSize);
    // A hidden name beside the target: ".name.~N" with a number that no other file there has.
    fs::path t(target_);
    // A name near the file system's limit is shortened, so that the temporary name still fits.
    const std::string base = t.filename().string().substr(0, 200);
    const std::string folder = t.parent_path().string();
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0;; ++attempt) {
        temp_ = folder;
        if (!temp_.empty()) temp_ += '/';
        temp_ += '.';
        temp_ += base;
        temp_ += ".~";
        temp_ += std::to_string(::getpid());
        temp_ += '-';
        temp_ += std::to_string(counter++);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) break;
        if (errno != EEXIST || attempt > 100) {
            const int code = errno;
            temp_.clear();
            fail(code);
        }
    }
    // The replacement keeps the permissions of the file that it replaces.
    if (exists) ::fchmod(fd_, old.st_mode & 07777);
}

ReplacingFile::ReplacingFile(ReplacingFile&& other) noexcept { take(other); }

ReplacingFile& ReplacingFile::operator=(ReplacingFile&& other) noexcept {
    if (this != &other) {
        discard();
        take(other);
    }
    return *this;
}

ReplacingFile::~ReplacingFile() { discard(); }

void ReplacingFile::discard() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

void ReplacingFile::take(ReplacingFile& other) noexcept {
    target_ = std::move(other.target_);
    temp_ = std::move(other.temp_);
    fd_ = other.fd_;
    finished_ = other.finished_;
    committed_ = other.committed_;
    buf_ = std::move(other.buf_);
    used_ = other.used_;
    other.fd_ = -1;
    other.temp_.clear();
}

void ReplacingFile::flush_buffer() {
    const char* p = buf_.data();
    std::size_t left = used_;
    while (left > 0) {
        long n = replacing_file_write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        if (n == 0) fail(ENOSPC);
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    used_ = 0;
}

void ReplacingFile::write(std::string_view bytes) {
    if (fd_ < 0) fail(EBADF);
    while (!bytes.empty()) {
        std::size_t room = buf_.size() - used_;
        std::size_t take = bytes.size() < room ? bytes.size() : room;
        std::memcpy(buf_.data() + used_, bytes.data(), take);
        used_ += take;
        bytes.remove_prefix(take);
        if (used_ == buf_.size()) flush_buffer();
    }
}

void ReplacingFile::finish() {
    if (finished_) return;
    if (fd_ < 0) fail(EBADF);
    flush_buffer();
    // The data must be on the disk before the name points at it, or a power cut could leave an
    // empty file where the old one was.
    if (::fsync(fd_) != 0) fail(errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail(errno);
    finished_ = true;
}

void ReplacingFile::commit() {
    finish();
    if (::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
    committed_ = true;
    try {
        sync_folder(target_);
    } catch (const std::exception&) {
    }
}

void write_whole_file(const std::string& path, std::string_view bytes) {
    ReplacingFile f(path);
    f.write(bytes);
    f.commit();
}

}  // namespace varnex
