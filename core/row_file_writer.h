#pragma once
// Write side of the binary row file: records of 128 bytes, numbered from 1, each holding one
// little-endian single-precision value in its first 4 bytes (the other 124 are written as zeros).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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

/// A token of a text system file as a number: exactly text_to_single(token), with a quick path for
/// the plain decimals that fill such files (an optional sign, digits with at most one decimal
/// separator, at most 10 digits after it, a digit value of at most 2^24): the digits and the power
/// of ten are then both exact floats and one single-precision division rounds their quotient
/// correctly, as text_to_single does. Everything else goes to text_to_single, which also raises its
/// errors.
float token_to_single(std::string_view token);

/// Bytes that must be readable beyond the end of a line handed to scan_tokens.
inline constexpr std::size_t kScanSlack = 64;

/// Converts the next tokens (blank-separated, as get_row splits a line) of the line [p, end):
/// values[k] = token_to_single(token k) for up to count tokens; returns how many were read and moves
/// p behind the last one. Fewer are read when the line ends, or when a token is not a number: p is
/// then left at the start of that token, and nothing is raised. Token boundaries are found 64 bytes at a
/// time and the plain decimals of a system file (at most 8 digits on either side of the separator)
/// are converted without a branch per character, so the tokens do not wait for each other. kScanSlack
/// bytes from end must be readable (their content does not matter).
int scan_tokens(const char*& p, const char* end, float* values, int count);

}  // namespace varnex
