#pragma once
// Writing a file so that it is either whole or not replaced at all: the bytes go to a temporary file
// beside the target, which is flushed to the disk and renamed over the target only when complete. A
// full disk, a read-only folder or a failure half-way thus leave the earlier file exactly as it was.

#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"

namespace varnex {

/// A file error with the system's error number, so that a command can say why it failed.
class SystemFileError : public RunError {
  public:
    explicit SystemFileError(int code);
    int code() const { return code_; }

  private:
    int code_;
};

/// The reason of a failure in words for a message: "the disk is full" for ENOSPC (and a quota),
/// "not enough memory" for ENOMEM, otherwise the system's own text with a small first letter.
std::string failure_reason(int code);

/// A replacement of one file under construction. The constructor creates the temporary file (a
/// hidden name beside the target, in the folder of the file that a symbolic link points to);
/// write() appends; finish() writes the rest out, flushes it to the disk and closes it; commit()
/// renames it over the target. A temporary file that was not committed is removed by the destructor,
/// so every way out before commit() leaves the target untouched. Every failure raises
/// SystemFileError (or std::bad_alloc).
class ReplacingFile {
  public:
    explicit ReplacingFile(const std::string& target);
    ~ReplacingFile();
    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&& other) noexcept;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    void write(std::string_view bytes);
    void finish();
    /// Calls finish() when that has not happened yet, then renames.
    void commit();

  private:
    void flush_buffer();
    void discard() noexcept;
    void take(ReplacingFile& other) noexcept;

    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool finished_ = false;
    bool committed_ = false;
    std::vector<char> buf_;
    std::size_t used_ = 0;
};

/// The system call through which a ReplacingFile writes; a test puts a failing one in its place to
/// stand for a full disk where no small file system can be mounted.
using WriteCall = long (*)(int fd, const void* data, std::size_t size);
extern WriteCall replacing_file_write;

/// Writes `bytes` as the whole content of `path` through a ReplacingFile.
void write_whole_file(const std::string& path, std::string_view bytes);

}  // namespace varnex
