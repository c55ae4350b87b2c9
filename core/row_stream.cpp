// The sequential pass over the rows of the row file: the mapping walked in memory, or chunks of the
// file read ahead asynchronously.

#include "core/row_stream.h"

#include <fcntl.h>

#include <algorithm>

#include "core/errors.h"

namespace varnex {

// Chunks of 4 MB, eight of them in flight: the disk streams while the caller works on the one before,
// and goes on for a while when a busy machine takes the caller's processor away.
namespace {
constexpr std::size_t kChunkBytes = 4u << 20;
constexpr unsigned kChunks = 8;
}  // namespace

std::size_t RowStream::buffer_bytes() { return kChunkBytes * kChunks; }

struct RowStream::Chunk {
    Pages buf;
    std::uint64_t off = 0;
    std::size_t len = 0;  // bytes of the system in it
    bool ready = false;
};

RowStream::RowStream(const RowFile& f, int n) : f_(f), n_(n), row_(static_cast<std::size_t>(n) + 1) {
    end_ = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n + 1) * kRecordLength;
    if (!f.streamed()) {
        map_ = f.bytes();
        return;
    }
    reads_ = std::make_unique<AsyncFileIo>(f.stream_fd(), f.direct(), kChunks);
    chunks_.resize(kChunks);
    std::vector<std::pair<void*, std::size_t>> bufs;
    for (Chunk& c : chunks_) {
        c.buf = Pages(kChunkBytes);
        bufs.emplace_back(c.buf.get(), kChunkBytes);
    }
    reads_->register_buffers(bufs);
    for (unsigned k = 0; k < kChunks; ++k) {
        if (next_off_ < end_) {
            chunks_[k].off = next_off_;
            chunks_[k].len = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, end_ - next_off_));
            reads_->submit(chunks_[k].buf.get(), align_up_to_block(chunks_[k].len), next_off_, k);
            next_off_ += chunks_[k].len;
        }
    }
    reads_->flush();
}

RowStream::~RowStream() {
    reads_.reset();  // waits for the reads in flight, before the chunks go
}

// Waits until the chunk at head_ is read (the others keep coming meanwhile).
void RowStream::refill() {
    Chunk& c = chunks_[head_];
    while (!c.ready) {
        std::uint64_t tag;
        long res;
        if (!reads_->reap(true, tag, res)) raise(ErrorKind::FileError);
        Chunk& d = chunks_[tag];
        // The file may end right after the value bytes of the system's last record.
        const std::size_t need = d.len - (kRecordLength - 4);
        if (res < 0 || static_cast<std::size_t>(res) < need) {
            if (!read_at_least(f_.plain_fd(), d.buf.get(), d.off, d.len, need)) raise(ErrorKind::FileError);
        }
        d.ready = true;
    }
    if (!f_.direct())
        ::posix_fadvise(f_.stream_fd(), static_cast<off_t>(c.off), static_cast<off_t>(c.len), POSIX_FADV_DONTNEED);
}

const float* RowStream::next(float* into) {
    if (row_no_ >= n_) return nullptr;
    float* row = into ? into : row_.data();
    const std::size_t rec = static_cast<std::size_t>(n_ + 1);
    if (map_) {
        const unsigned char* p = map_ + static_cast<std::size_t>(row_no_) * rec * kRecordLength;
        for (std::size_t k = 0; k < rec; ++k, p += kRecordLength) row[k] = record_value(p);
        ++row_no_;
        return row;
    }
    // The values of the row are gathered from as many chunks as it spans.
    while (static_cast<std::size_t>(col_) < rec) {
        Chunk& c = chunks_[head_];
        if (!c.ready) refill();
        const unsigned char* p = c.buf.get();
        std::size_t take = std::min<std::size_t>((c.len - pos_) / kRecordLength, rec - static_cast<std::size_t>(col_));
        for (std::size_t k = 0; k < take; ++k, pos_ += kRecordLength)
            row[static_cast<std::size_t>(col_) + k] = record_value(p + pos_);
        col_ += static_cast<int>(take);
        if (pos_ + kRecordLength > c.len) {
            // The chunk is used up: it takes the next one of the file.
            c.ready = false;
            pos_ = 0;
            if (next_off_ < end_) {
                c.off = next_off_;
                c.len = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, end_ - next_off_));
                reads_->submit(c.buf.get(), align_up_to_block(c.len), next_off_, head_);
                reads_->flush();
                next_off_ += c.len;
            }
            head_ = (head_ + 1) % kChunks;
        }
    }
    col_ = 0;
    ++row_no_;
    return row;
}

}  // namespace varnex
