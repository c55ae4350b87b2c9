#pragma once
// The rows of the system from one sequential pass over the row file, for files larger than the memory
// that can cache them: every value sits in a record of 128 bytes, so the stream fetches whole chunks of
// records with large direct reads (the page cache is bypassed, or told to drop what was read) and
// keeps only the values. The reads run asynchronously while the caller computes (core/async_file_io.h).
// A mapped file is walked in memory instead.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/async_file_io.h"
#include "core/row_file.h"

namespace varnex {

/// The rows 1..n of the system, in order, from one sequential pass over the file; the file must hold
/// every record of the system.
class RowStream {
  public:
    RowStream(const RowFile& f, int n);
    ~RowStream();
    /// The memory that the buffers of a stream of a streamed file take.
    static std::size_t buffer_bytes();
    /// The next row: a(j, 1..n) at [0..n-1] and b(j) at [n], gathered into `into` (n + 1 floats) when
    /// given, else into the stream's own row; nullptr after row n. Throws RunError(FileError) when a
    /// read fails.
    const float* next(float* into = nullptr);

  private:
    void refill();
    const RowFile& f_;
    int n_;
    std::vector<float> row_;
    int row_no_ = 0;
    int col_ = 0;  // values of the row gathered so far
    // The mapped file, or the direct reads of chunks.
    const unsigned char* map_ = nullptr;
    std::unique_ptr<AsyncFileIo> reads_;
    struct Chunk;
    std::vector<Chunk> chunks_;
    std::uint64_t next_off_ = 0;  // file offset of the next chunk to request
    std::uint64_t end_ = 0;       // end of the system's bytes
    unsigned head_ = 0;           // the chunk being consumed
    std::size_t pos_ = 0;         // next byte of it
};

}  // namespace varnex
