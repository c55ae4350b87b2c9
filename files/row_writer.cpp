#include "files/row_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/errors.h"
#include "core/row_file.h"

namespace varnex {

// Byte positions pass 2^31 from order 4096 on.
static_assert(sizeof(off_t) == 8, "the row file needs 64-bit file positions");

namespace {
// Records per buffer: 4 MB, large enough that the write calls cost nothing next to the copying.
constexpr std::size_t kBufferRecords = 32768;
}  // namespace

RowWriter::RowWriter() = default;

RowWriter::~RowWriter() {
    if (fd_ >= 0) ::close(fd_);
}

void RowWriter::open(const std::string& path) {
    if (fd_ >= 0) close();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) raise(ErrorKind::FileError);
    fd_ = fd;
    // Bytes 4..127 of every buffered record stay zero: put() writes only the value bytes.
    if (buf_.empty()) buf_.assign(kBufferRecords * kRecordLength, 0);
    count_ = 0;
    put_ = 0;
}

void RowWriter::put(std::int64_t r, float v) {
    if (fd_ < 0 || r < 1) raise(ErrorKind::FileError);
    if (count_ == kBufferRecords || (count_ > 0 && r != first_ + static_cast<std::int64_t>(count_))) flush();
    if (count_ == 0) first_ = r;
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    unsigned char* p = buf_.data() + count_ * kRecordLength;
    p[0] = static_cast<unsigned char>(u);
    p[1] = static_cast<unsigned char>(u >> 8);
    p[2] = static_cast<unsigned char>(u >> 16);
    p[3] = static_cast<unsigned char>(u >> 24);
    ++count_;
    ++put_;
}

void RowWriter::flush() {
    const unsigned char* p = buf_.data();
    std::size_t left = count_ * kRecordLength;
    off_t off = static_cast<off_t>(first_ - 1) * kRecordLength;
    count_ = 0;
    while (left > 0) {
        ssize_t n = ::pwrite(fd_, p, left, off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) raise(ErrorKind::FileError);
        p += n;
        left -= static_cast<std::size_t>(n);
        off += n;
    }
}

void RowWriter::close() {
    if (fd_ < 0) return;
    bool ok = true;
    try {
        flush();
    } catch (const RunError&) {
        ok = false;
    }
    if (::close(fd_) != 0) ok = false;
    fd_ = -1;
    if (!ok) raise(ErrorKind::FileError);
}

}  // namespace varnex
