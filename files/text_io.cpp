#include "files/text_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>

#include "core/errors.h"
#include "core/memory_budget.h"

namespace varnex {

namespace fs = std::filesystem;

bool is_ordinary_file(const std::string& path) {
    std::error_code ec;
    // A missing entry (ENOENT, ENOTDIR) comes back as not_found together with an error code; any
    // other error code is a failure of the test itself.
    fs::file_status s = fs::status(path, ec);
    if (s.type() == fs::file_type::not_found) return false;
    if (ec) raise(ErrorKind::FileError);
    return fs::is_regular_file(s);
}

void change_directory(const std::string& folder) {
    std::error_code ec;
    fs::current_path(folder, ec);
    if (ec) raise(ErrorKind::FileError);
}

InputFile::InputFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) raise(ErrorKind::FileError);
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t InputFile::remaining_hint() {
    struct stat sb {};
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0 || ::fstat(fd_, &sb) != 0 || !S_ISREG(sb.st_mode)) return 0;
    return sb.st_size > at ? static_cast<std::size_t>(sb.st_size - at) : 0;
}

std::size_t InputFile::read(char* to, std::size_t size) {
    ssize_t n;
    do {
        n = ::read(fd_, to, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) raise(ErrorKind::FileError);
    return static_cast<std::size_t>(n);
}

void InputFile::let_go(std::uint64_t from, std::uint64_t to) {
    ::posix_fadvise(fd_, static_cast<off_t>(from), static_cast<off_t>(to - from), POSIX_FADV_DONTNEED);
}

void InputFile::read_ahead() { ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL); }

std::string InputFile::read_all() {
    // The size is only a hint: one byte more than it lets the first read see the end, and the text
    // doubles while a file keeps giving more.
    std::string text;
    try {
        text.resize(remaining_hint() + 1);
        std::size_t used = 0;
        for (;;) {
            if (used == text.size()) text.resize(2 * text.size());
            std::size_t got = read(text.data() + used, text.size() - used);
            used += got;
            if (got == 0) break;
        }
        text.resize(used);
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    } catch (const std::length_error&) {
        raise(ErrorKind::OutOfMemory);
    }
    return text;
}

std::size_t longest_valid_line(int n) {
    const std::size_t tokens = static_cast<std::size_t>(n > 0 ? n : 32766) + 1;
    return std::max(tokens * kTokenText, FileLines::kChunk);
}

// A file read once that is larger than this share of the memory the process may use lets go of the
// pages behind its reader, a run of this many bytes at a time.
constexpr std::uint64_t kDropBehindShare = 4;
constexpr std::uint64_t kDropBehindRun = 64 << 20;

FileLines::FileLines(InputFile& file, std::size_t chunk) : file_(file) {
    // One byte more than a small file holds lets its first read meet the end.
    const std::size_t hint = file.remaining_hint();
    size_ = std::max<std::size_t>(1, std::min(chunk, hint + 1));
    buf_ = allocate(size_);
    // A file read in one chunk is never large against memory: no need to measure that.
    drop_behind_ = hint > chunk && hint > usable_memory() / kDropBehindShare;
    if (drop_behind_) file.read_ahead();
}

std::unique_ptr<char[]> FileLines::allocate(std::size_t size) {
    try {
        auto buf = std::make_unique_for_overwrite<char[]>(size + kScanSlack);
        std::memset(buf.get() + size, 0, kScanSlack);
        return buf;
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    }
}

bool FileLines::fill() {
    if (eof_) return false;
    if (begin_ > 0) {
        std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        scan_ -= begin_;
        begin_ = 0;
    }
    if (end_ == size_) {
        if (end_ - begin_ > limit_) throw LineTooLong();
        auto bigger = allocate(2 * size_);
        std::memcpy(bigger.get(), buf_.get(), end_);
        buf_ = std::move(bigger);
        size_ *= 2;
    }
    std::size_t got = file_.read(buf_.get() + end_, size_ - end_);
    end_ += got;
    if (got == 0) eof_ = true;
    read_ += got;
    if (drop_behind_ && read_ - dropped_ >= kDropBehindRun) {
        file_.let_go(dropped_, read_);
        dropped_ = read_;
    }
    return got > 0;
}

bool FileLines::at_end() {
    while (begin_ == end_)
        if (!fill()) return true;
    return false;
}

std::string_view FileLines::next() {
    const char* lf = nullptr;
    for (;;) {
        lf = static_cast<const char*>(std::memchr(buf_.get() + scan_, '\n', end_ - scan_));
        if (lf) break;
        scan_ = end_;
        if (!fill()) break;
    }
    const char* first = buf_.get() + begin_;
    std::string_view line;
    if (lf) {
        line = std::string_view(first, static_cast<std::size_t>(lf - first));
        begin_ = static_cast<std::size_t>(lf - buf_.get()) + 1;
    } else {
        line = std::string_view(first, end_ - begin_);  // the last line, without a line end
        begin_ = end_;
    }
    scan_ = begin_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::string_view LineReader::next() {
    std::string_view line;
    if (const void* lf = std::memchr(rest_.data(), '\n', rest_.size())) {
        std::size_t len = static_cast<std::size_t>(static_cast<const char*>(lf) - rest_.data());
        line = rest_.substr(0, len);
        rest_.remove_prefix(len + 1);
    } else {
        line = rest_;
        rest_ = {};
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

void split_tokens(std::string_view line, std::vector<std::string_view>& tokens) {
    tokens.clear();
    const char* p = line.data();
    const char* end = p + line.size();
    // p walks the line: skip a run of blanks, then take the run of non-blanks up to the next blank.
    while (p < end) {
        while (p < end && *p == ' ') ++p;
        if (p == end) break;
        const void* blank = std::memchr(p, ' ', static_cast<std::size_t>(end - p));
        const char* stop = blank ? static_cast<const char*>(blank) : end;
        if (tokens.size() == 32767) raise(ErrorKind::Overflow);
        tokens.emplace_back(p, static_cast<std::size_t>(stop - p));
        p = stop;
    }
}

OutputFile::OutputFile(const std::string& path) {
    f_ = std::fopen(path.c_str(), "wb");
    if (!f_) raise(ErrorKind::FileError);
    // The buffer here does the gathering; the stream passes each chunk straight to the file.
    std::setvbuf(f_, nullptr, _IONBF, 0);
}

OutputFile::~OutputFile() {
    if (!f_) return;
    // What was written before a failure stays in the file, as a stream's own buffer would leave it.
    if (!buf_.empty()) std::fwrite(buf_.data(), 1, buf_.size(), f_);
    std::fclose(f_);
}

void OutputFile::flush() {
    if (buf_.empty()) return;
    if (std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) raise(ErrorKind::FileError);
    buf_.clear();
}

void OutputFile::write(std::string_view bytes) {
    if (!f_) raise(ErrorKind::FileError);
    if (buf_.size() + bytes.size() > kChunk) {
        flush();
        // A piece as large as the chunk goes out as it is.
        if (bytes.size() >= kChunk) {
            if (std::fwrite(bytes.data(), 1, bytes.size(), f_) != bytes.size()) raise(ErrorKind::FileError);
            return;
        }
    }
    try {
        buf_.append(bytes);
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    }
}

void OutputFile::close() {
    if (!f_) return;
    std::FILE* f = f_;
    try {
        flush();
    } catch (const RunError&) {
        f_ = nullptr;
        std::fclose(f);
        throw;
    }
    f_ = nullptr;
    if (std::fclose(f) != 0) raise(ErrorKind::FileError);
}

}  // namespace varnex
