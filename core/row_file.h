#pragma once
// Read side of the binary row file: 128-byte records numbered from 1, each holding one
// little-endian single-precision value in its first 4 bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/mapping_guard.h"

namespace varnex {

inline constexpr std::int64_t kRecordLength = 128;
class PanelSeed;

/// The value bytes of a record: IEEE 754 single precision, least significant byte first.
inline float record_value(const unsigned char* p) {
    const std::uint32_t u = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                            static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    float v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

/// The row file opened for random access by a solve command. Single reads go through a memory mapping
/// of the whole file; a record beyond the end of the file reads as 0. A file too large for the memory
/// of this process is also opened for direct reads, and the sweep and the set-up then stream it
/// (core/row_stream.h, core/panel_stream.h) instead of walking the mapping.
class RowFile {
  public:
    RowFile();
    RowFile(const RowFile&) = delete;
    RowFile& operator=(const RowFile&) = delete;
    ~RowFile();

    /// Opens (creating when missing, never truncating) the file at path. Throws RunError(FileError),
    /// with a sentence for the user as its text when the path names a link or no regular file.
    void open(const std::string& path);
    void close();
    bool is_open() const { return fd_ >= 0; }

    /// The value of record r (1-based); 0 for a record whose value bytes lie beyond the end of the
    /// file. Throws RunError(FileError) when the file is not open.
    float record(std::int64_t r) const;

    /// Throws RunError(FileError) when the file has become shorter since open() (another program
    /// truncated or replaced it): what was read from the missing part was not the system's.
    void check_intact() const;

    /// Start of the mapping and its size in bytes (nullptr/0 for an empty file), for fast readers.
    const unsigned char* bytes() const { return map_; }
    std::size_t size() const { return size_; }

    /// True when the sweep and the set-up stream the file (decided at open, see row_access()).
    bool streamed() const { return streamed_; }
    /// The descriptor for streaming reads: opened with O_DIRECT when the file system allows it
    /// (direct() tells), else the ordinary one.
    int stream_fd() const { return direct_fd_ >= 0 ? direct_fd_ : fd_; }
    bool direct() const { return direct_fd_ >= 0; }
    /// The ordinary descriptor, for reads that direct reads cannot serve.
    int plain_fd() const { return fd_; }

    /// The squared column norms that the last pass over the rows of this open file found for the
    /// order n, kept for get_norms_file: norms()[i] is D(i), or the first non-finite partial sum of
    /// column i. Empty when there are none for n. The file does not change while it is open.
    const std::vector<float>& norms(int n) const {
        static const std::vector<float> none;
        return norms_n_ == n ? norms_ : none;
    }
    void keep_norms(int n, std::vector<float> d) const {
        norms_ = std::move(d);
        norms_n_ = n;
    }
    void drop_norms() const {
        std::vector<float>().swap(norms_);
        norms_n_ = -1;
        drop_seed();
    }
    /// The first panels of the columns that the last pass over the rows of this streamed file kept
    /// for the next sweep (core/panel_stream.h), which takes them; nullptr when there are none.
    void keep_seed(std::unique_ptr<PanelSeed> seed) const;
    std::unique_ptr<PanelSeed> take_seed(int n) const;
    void drop_seed() const;
    const PanelSeed* seed() const { return seed_.get(); }

  private:
    int fd_ = -1;
    int direct_fd_ = -1;
    bool streamed_ = false;
    const unsigned char* map_ = nullptr;
    std::size_t size_ = 0;
    MappingGuard guard_;
    mutable std::vector<float> norms_;
    mutable int norms_n_ = -1;
    mutable std::unique_ptr<PanelSeed> seed_;
};

/// The reason why a row-file path naming a link (link) or no regular file is refused, for the status
/// line beside the file-error message.
std::string row_file_refusal(const std::string& path, bool link);

/// Record number of a(i,j) for the order n: (n+1)*(i-1) + j, with n+1 checked as 16-bit and the
/// product and sum as 32-bit values (RunError(Overflow)).
std::int32_t record_of(int16_t i, int16_t j, int16_t n);

/// a(i,j) from record (n+1)*(i-1)+j of the open row file.
float get_a(const RowFile& f, int16_t i, int16_t j, int16_t n);
/// b(i) = get_a(i, n+1, n).
float get_b(const RowFile& f, int16_t i, int16_t n);

}  // namespace varnex
