#pragma once
// Read side of the binary row file: 128-byte records numbered from 1, each holding one
// little-endian single-precision value in its first 4 bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace varnex {

inline constexpr std::int64_t kRecordLength = 128;

/// The value bytes of a record: IEEE 754 single precision, least significant byte first.
inline float record_value(const unsigned char* p) {
    const std::uint32_t u = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                            static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

/// The row file opened for random access by a solve command. Reads go through a memory mapping of
/// the whole file; a record beyond the end of the file reads as 0.
class RowFile {
  public:
    RowFile() = default;
    RowFile(const RowFile&) = delete;
    RowFile& operator=(const RowFile&) = delete;
    ~RowFile();

    /// Opens (creating when missing, never truncating) the file at path. Throws RunError(FileError).
    void open(const std::string& path);
    void close();
    bool is_open() const { return fd_ >= 0; }

    /// The value of record r (1-based); 0 for a record whose value bytes lie beyond the end of the
    /// file. Throws RunError(FileError) when the file is not open.
    float record(std::int64_t r) const;

    /// Start of the mapping and its size in bytes (nullptr/0 for an empty file), for fast readers.
    const unsigned char* bytes() const { return map_; }
    std::size_t size() const { return size_; }

  private:
    int fd_ = -1;
    const unsigned char* map_ = nullptr;
    std::size_t size_ = 0;
};

/// Record number of a(i,j) for the order n: (n+1)*(i-1) + j, with n+1 checked as 16-bit and the
/// product and sum as 32-bit values (RunError(Overflow)).
std::int32_t record_of(int16_t i, int16_t j, int16_t n);

/// a(i,j) from record (n+1)*(i-1)+j of the open row file.
float get_a(const RowFile& f, int16_t i, int16_t j, int16_t n);
/// b(i) = get_a(i, n+1, n).
float get_b(const RowFile& f, int16_t i, int16_t n);

}  // namespace varnex
