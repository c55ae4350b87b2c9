#pragma once
// Write side of the binary row file: records of 128 bytes, numbered from 1, each holding one
// little-endian single-precision value in its first 4 bytes (the other 124 are written as zeros).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnex {

/// The row file opened for writing by the Connect command. The values of consecutive records are
/// gathered in a buffer; a helper thread turns a full buffer into records, a few hundred KB at a time
/// in a buffer that stays in its cache, and writes each such run with one positioned write. Two value
/// buffers take turns: while the helper writes one, the caller fills the other, so the parsing of the
/// text and the copying into the file overlap, and only the values (4 of every 128 bytes) cross
/// between the threads. A file that grows large against the memory of this process is written
/// behind: each write goes to the disk at once and the pages well behind the writer leave the page
/// cache. The file is created when missing and never truncated: records that are not put keep their
/// bytes.
class RowWriter {
  public:
    RowWriter();
    ~RowWriter();
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    /// Opens the file for writing; throws RunError(FileError).
    void open(const std::string& path);
    /// Sets record r (1-based) to v. Throws RunError(FileError) when a full buffer cannot be written.
    void put(std::int64_t r, float v);
    /// Sets the records first .. first+count-1 to v[0..count-1], as count calls of put would.
    void put_run(std::int64_t first, const float* v, int count);
    /// Writes the buffered records and closes the file; throws RunError(FileError) when either fails
    /// (the file is closed in any case).
    void close();
    bool is_open() const { return fd_ >= 0; }
    /// Number of records put since open.
    std::int64_t records_put() const { return put_; }

  private:
    struct Writer;
    /// Hands the filled buffer to the helper and goes on with the other one.
    void submit();

    int fd_ = -1;
    std::unique_ptr<Writer> writer_;
    std::unique_ptr<float[]> values_;  ///< both value buffers
    float* bufs_[2] = {};
    int cur_ = 0;             ///< the buffer being filled
    std::int64_t first_ = 0;  ///< record number of its first record
    std::size_t count_ = 0;   ///< records in it
    std::int64_t put_ = 0;
};

}  // namespace varnex
