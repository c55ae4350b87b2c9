// The ring of columns that a connected sweep's two threads gather from the mapped row file.

#include "core/column_ring.h"

#include <sched.h>

#include <algorithm>
#include <chrono>

namespace varnex {

namespace {

// How long the computing thread sleeps for rows that the other thread has claimed but not yet written
// before it reads the whole column itself: that thread may have lost its processor on a busy machine.
constexpr std::chrono::microseconds kStallTimeout{50};
// How long the second thread naps when it finds itself on the computing thread's processor: the two
// then only take turns, and the computing thread walks a column that nobody has begun together with
// its update, for less than the two threads' turns cost.
constexpr std::chrono::microseconds kSharedNap{1000};
// Columns that the computing thread must let go of before a sleeping second thread is woken: it then
// reads several columns in a row instead of waking for each one.
constexpr int kWakeBatch = 4;

// The claims word of a slot: the column it holds, the first row not claimed from the top and the row
// after the last not claimed from the bottom (rows counted from 0); the column is fully claimed when
// the two ends meet.
std::uint64_t pack(int c, int top, int bottom) {
    return static_cast<std::uint64_t>(c) << 42 | static_cast<std::uint64_t>(top) << 21 |
           static_cast<std::uint64_t>(bottom);
}
int column(std::uint64_t w) { return static_cast<int>(w >> 42); }
int top(std::uint64_t w) { return static_cast<int>(w >> 21 & 0x1FFFFF); }
int bottom(std::uint64_t w) { return static_cast<int>(w & 0x1FFFFF); }

}  // namespace

ColumnRing::ColumnRing(const unsigned char* base, std::size_t stride, const ColumnFetch& fetch, int n, int rows,
                       int chunk_rows)
    : base_(base),
      stride_(stride),
      fetch_(fetch),
      n_(n),
      chunk_(chunk_rows),
      slot_floats_(static_cast<std::size_t>(rows) + 16),
      data_(new float[slot_floats_ * (kSlots + 2)]) {
    for (auto& s : slots_) {
        s.claims.store(0, std::memory_order_relaxed);
        s.filled.store(0, std::memory_order_relaxed);
    }
}

const float* ColumnRing::wait_for(int c) {
    Slot& s = slots_[slot_of(c)];
    const std::int64_t complete = (uses_before(c) + 1) * n_;
    for (;;) {
        const std::uint32_t seen = written_.seen();
        if (s.filled.load(std::memory_order_acquire) == complete) return slot(slot_of(c));
        if (open(c) && take(c, false)) continue;
        // Every row is claimed and the other thread is writing its last ones: sleep until it has.
        if (!written_.wait(seen, kStallTimeout)) {
            float* spare = slot(kSlots + (c & 1));
            walk_down(c, 0, n_, spare + 1);
            return spare;
        }
    }
}

float* ColumnRing::claim_whole(int c) {
    if (!open(c)) return nullptr;
    Slot& s = slots_[slot_of(c)];
    std::uint64_t w = pack(c, 0, n_);
    if (!s.claims.compare_exchange_strong(w, pack(c, n_, n_), std::memory_order_relaxed)) return nullptr;
    return slot(slot_of(c));
}

void ColumnRing::written(int c) {
    slots_[slot_of(c)].filled.fetch_add(n_, std::memory_order_acq_rel);
    written_.bump();
}

void ColumnRing::note_processor() {
    computing_cpu_.store(::sched_getcpu(), std::memory_order_relaxed);
    steps_.fetch_add(1, std::memory_order_relaxed);
}

void ColumnRing::release_through(int c) {
    done_.store(c, std::memory_order_seq_cst);
    if (c >= wake_at_.load(std::memory_order_seq_cst)) released_.bump();
}

ColumnRing::Claim ColumnRing::claim_ahead(int from, int rows) {
    for (int c = from; c <= n_; ++c) {
        if (!open(c)) break;
        const Claim cl = claim(c, false, rows);
        if (cl.len > 0) return cl;
    }
    return Claim{};
}

FetchStream ColumnRing::stream(const Claim& cl) const {
    if (cl.len == 0) return FetchStream{};
    if (cl.from_top) return FetchStream{row(cl.c, cl.first), static_cast<std::ptrdiff_t>(stride_), cl.len};
    return FetchStream{row(cl.c, cl.first + cl.len - 1), -static_cast<std::ptrdiff_t>(stride_), cl.len};
}

void ColumnRing::finish(const Claim& cl) {
    if (cl.len == 0) return;
    float* a = slot(slot_of(cl.c)) + 1 + cl.first;
    if (cl.from_top)
        walk_down(cl.c, cl.first, cl.len, a);
    else
        walk_up(cl.c, cl.first, cl.len, a);
    slots_[slot_of(cl.c)].filled.fetch_add(cl.len, std::memory_order_acq_rel);
    written_.bump();
}

void ColumnRing::run() {
    int c = 1;
    std::uint32_t napped_at = ~0u;
    while (c <= n_ && !stop_.load(std::memory_order_seq_cst)) {
        // Columns that the computing thread has let go of are done with, whoever read them: while
        // this thread had lost its processor, that thread may have read them all itself.
        c = std::max(c, done_.load(std::memory_order_acquire) + 1);
        if (c > n_) break;
        // The wake-up threshold only grows, so a computing thread that reads an older one wakes this
        // thread no later than it should.
        wake_at_.store(std::min(c - kSlots + kWakeBatch, n_), std::memory_order_seq_cst);
        const std::uint32_t seen = released_.seen();
        // A computing thread that made no step during the last nap is not taking turns with this one
        // (it is stopped, or has moved): then this thread reads on, and sleeps once the ring is full.
        const int cpu = ::sched_getcpu();
        const std::uint32_t steps = steps_.load(std::memory_order_relaxed);
        if (cpu >= 0 && cpu == computing_cpu_.load(std::memory_order_relaxed) && steps != napped_at) {
            napped_at = steps;
            const std::uint32_t nap = stopped_.seen();
            if (!stop_.load(std::memory_order_seq_cst)) stopped_.wait(nap, kSharedNap);
        } else if (!open(c)) {
            if (!stop_.load(std::memory_order_seq_cst)) released_.wait(seen);
        } else if (!take(c, true)) {
            ++c;
        }
    }
}

void ColumnRing::stop() {
    stop_.store(true, std::memory_order_seq_cst);
    released_.bump();
    stopped_.bump();
}

// True when the slot of column c holds c, after moving it on to c if it may: the computing thread has
// let go of the column c - kSlots that it held before, and every row of that one is written (the
// acquires order the last reads and writes of the slot before the writes of column c).
bool ColumnRing::open(int c) {
    Slot& s = slots_[slot_of(c)];
    std::uint64_t w = s.claims.load(std::memory_order_acquire);
    if (column(w) == c) return true;
    if (c > done_.load(std::memory_order_acquire) + kSlots) return false;
    if (s.filled.load(std::memory_order_acquire) != uses_before(c) * n_) return false;
    s.claims.compare_exchange_strong(w, pack(c, 0, n_), std::memory_order_acq_rel);
    return column(s.claims.load(std::memory_order_acquire)) == c;
}

// Claims the next chunk of column c from its top (or its bottom) and reads it; false when the whole
// column is claimed.
bool ColumnRing::take(int c, bool from_top) {
    const Claim cl = claim(c, from_top, chunk_);
    if (cl.len == 0) return false;
    finish(cl);
    return true;
}

// Claims up to rows rows of column c from its top (or its bottom); len 0 when the whole column is
// claimed.
ColumnRing::Claim ColumnRing::claim(int c, bool from_top, int rows) {
    Slot& s = slots_[slot_of(c)];
    std::uint64_t w = s.claims.load(std::memory_order_relaxed);
    for (;;) {
        if (column(w) != c || top(w) >= bottom(w)) return Claim{};
        const int t = top(w), b = bottom(w);
        const int first = from_top ? t : (b - rows > t ? b - rows : t);
        const int last = from_top ? (t + rows < b ? t + rows : b) : b;
        if (s.claims.compare_exchange_weak(w, from_top ? pack(c, last, b) : pack(c, t, first),
                                           std::memory_order_relaxed))
            return Claim{c, first, last - first, from_top};
    }
}

// Reads rows first+1 .. first+len of column c into a[0..len-1] from the top down, fetching ahead
// along the column and, near its end, into the next one.
void ColumnRing::walk_down(int c, int first, int len, float* a) const {
    gather_column(row(c, first), stride_, fetch_, len, a);
}

// The same rows from the bottom up, fetching ahead upwards while that stays in the column.
void ColumnRing::walk_up(int c, int first, int len, float* a) const {
    const unsigned char* head = row(c, 0);
    const unsigned char* p = row(c, first + len - 1);
    for (int q = len - 1; q >= 0; --q, p -= stride_) {
        if (p - head >= fetch_.ahead) __builtin_prefetch(p - fetch_.ahead, 0, 3);
        a[q] = record_value(p);
    }
}

}  // namespace varnex
