#pragma once
// The columns of a connected sweep gathered from the mapped row file ahead of their use, by a second
// thread and by the computing thread together, so that the walk over the file (one cache miss per
// value: the values of a column lie a row stride apart) overlaps the sweep's arithmetic.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "core/connected_kernels.h"
#include "core/row_file.h"
#include "core/sweep_kernels.h"
#include "core/wait_word.h"

namespace varnex {

/// The second thread reads the columns in order, each from its top down, running ahead of the
/// computing thread; when the computing thread needs a column that is not complete yet, it reads that
/// column from the bottom up until the two meet, so that both threads share the reading of the very
/// column that is waited for. Before each step the computing thread also claims rows from the bottom of
/// a later column, which the step's kernel fetches into the cache while its arithmetic waits on its own
/// roundings, and reads them after the step: that thread's misses then overlap its arithmetic instead
/// of following it. Rows are claimed from either end of a column with one compare-and-swap on a word
/// that holds the column and both ends. Column c (1-based) goes to slot (c-1) mod kSlots, with a(1, c)
/// at slot[1], so that a slot serves the in-memory kernels as a 1-based column. A slot takes its next
/// column only after the computing thread has let go of the one it held and every row of that one was
/// written.
class ColumnRing {
  public:
    static constexpr int kSlots = 8;

    /// base: the mapped records; stride: bytes from one equation's records to the next; n: the order;
    /// rows: rows per slot (at least n); chunk_rows: rows that a reading thread claims at a time.
    ColumnRing(const unsigned char* base, std::size_t stride, const ColumnFetch& fetch, int n, int rows,
               int chunk_rows);

    /// Column c, 1-based, once it is complete; meanwhile the calling thread reads it from the bottom,
    /// and once every row is claimed it sleeps until the other thread has written its last ones. When
    /// that takes longer than a short stall timeout (the other thread may have lost its processor on a
    /// busy machine), the calling thread reads the whole column itself into one of two spare buffers
    /// (columns c and c+1 are in use together), so that the sweep never waits on a stalled thread.
    const float* wait_for(int c);

    /// For the computing thread: claims every row of column c when no thread has begun it yet (the
    /// other thread is behind or has lost its processor) and returns its slot (a(1, c) at [1]), which
    /// the caller fills from the file and hands over with written(c); nullptr when column c is begun.
    float* claim_whole(int c);

    /// All n rows of column c, claimed by claim_whole, are in its slot.
    void written(int c);

    /// For the computing thread, at each step: notes the processor that it runs on.
    void note_processor();

    /// The computing thread no longer needs columns 1..c. A second thread that sleeps for a free slot
    /// is woken once a few columns more are let go of.
    void release_through(int c);

    /// Rows of one column claimed by one thread: rows first+1 .. first+len of column c.
    struct Claim {
        int c = 0, first = 0, len = 0;
        bool from_top = false;
    };

    /// For the computing thread before a step: claims up to rows rows from the bottom of the first
    /// column from column `from` on that has rows left to claim, to be fetched while the step computes
    /// and read after it; len 0 when there is none to take now.
    Claim claim_ahead(int from, int rows);

    /// The records of a claim, in the order in which finish reads them.
    FetchStream stream(const Claim& cl) const;

    /// Reads the rows of a claim into the slot of its column.
    void finish(const Claim& cl);

    /// The second thread's work: reads the columns from the top down, in order, until all are claimed
    /// or the sweep stops. While the slot of its next column is held, it sleeps; while it finds itself
    /// on the processor of the computing thread (a busy machine put both on one) and that thread has
    /// moved on since the last nap, it naps.
    void run();

    /// Ends run() on the second thread.
    void stop();

  private:
    bool open(int c);
    bool take(int c, bool from_top);
    Claim claim(int c, bool from_top, int rows);
    void walk_down(int c, int first, int len, float* a) const;
    void walk_up(int c, int first, int len, float* a) const;

    // The record of row r (from 0) of column c.
    const unsigned char* row(int c, int r) const {
        return base_ + static_cast<std::size_t>(c - 1) * kRecordLength + static_cast<std::size_t>(r) * stride_;
    }
    static int slot_of(int c) { return (c - 1) % kSlots; }
    // How many columns held the slot of column c before it.
    static std::int64_t uses_before(int c) { return (c - 1) / kSlots; }
    // Slots 0..kSlots-1 of the ring, then the two spare buffers.
    float* slot(int k) const { return data_.get() + static_cast<std::size_t>(k) * slot_floats_; }

    struct alignas(64) Slot {
        std::atomic<std::uint64_t> claims;             // the column and both ends: see column_ring.cpp
        alignas(64) std::atomic<std::int64_t> filled;  // rows written into the slot, over all its columns
    };

    const unsigned char* base_;
    std::size_t stride_;
    ColumnFetch fetch_;
    int n_;
    int chunk_;
    std::size_t slot_floats_;
    std::unique_ptr<float[]> data_;
    Slot slots_[kSlots];
    alignas(64) std::atomic<int> done_{0};
    alignas(64) std::atomic<int> wake_at_{0};  // see release_through
    alignas(64) std::atomic<bool> stop_{false};
    alignas(64) std::atomic<int> computing_cpu_{-1};  // where the computing thread last ran
    std::atomic<std::uint32_t> steps_{0};             // steps that it has begun
    alignas(64) WaitWord released_;                   // the computing thread let go of columns (or the sweep stops)
    alignas(64) WaitWord stopped_;                    // the sweep stops (ends a nap of the second thread)
    alignas(64) WaitWord written_;                    // rows were written into a slot
};

/// The second thread of a sweep, running ColumnRing::run, stopped and joined when the sweep leaves by
/// any way.
class Gatherer {
  public:
    explicit Gatherer(ColumnRing& ring) : ring_(ring), thread_([&ring] { ring.run(); }) {}
    Gatherer(const Gatherer&) = delete;
    Gatherer& operator=(const Gatherer&) = delete;
    ~Gatherer() {
        ring_.stop();
        thread_.join();
    }

  private:
    ColumnRing& ring_;
    std::thread thread_;
};

}  // namespace varnex
