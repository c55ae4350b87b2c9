#include "files/text_io.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "core/errors.h"

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
    f_ = std::fopen(path.c_str(), "rb");
    if (!f_) raise(ErrorKind::FileError);
}

InputFile::~InputFile() {
    if (f_) std::fclose(f_);
}

std::string InputFile::read_all() {
    // The size is only a hint for the first allocation: the loop reads until the end, so a file that
    // grows or reports no size (a pipe, a /proc file) is still read whole.
    std::string text;
    try {
        long start = std::ftell(f_);
        if (start >= 0 && std::fseek(f_, 0, SEEK_END) == 0) {
            long end = std::ftell(f_);
            if (std::fseek(f_, start, SEEK_SET) != 0) raise(ErrorKind::FileError);
            if (end > start) text.reserve(static_cast<std::size_t>(end - start) + 1);
        }
        constexpr std::size_t kBlock = 1 << 20;
        std::size_t used = 0;
        for (;;) {
            if (text.size() < used + kBlock) text.resize(std::max(text.capacity(), used + kBlock));
            std::size_t got = std::fread(text.data() + used, 1, text.size() - used, f_);
            used += got;
            if (got == 0) break;
        }
        if (std::ferror(f_)) raise(ErrorKind::FileError);
        text.resize(used);
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    }
    return text;
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
    std::setvbuf(f_, nullptr, _IOFBF, 1 << 20);
}

OutputFile::~OutputFile() {
    if (f_) std::fclose(f_);
}

void OutputFile::write(std::string_view bytes) {
    if (!f_ || std::fwrite(bytes.data(), 1, bytes.size(), f_) != bytes.size()) raise(ErrorKind::FileError);
}

void OutputFile::close() {
    if (!f_) return;
    int rc = std::fclose(f_);
    f_ = nullptr;
    if (rc != 0) raise(ErrorKind::FileError);
}

}  // namespace varnex
