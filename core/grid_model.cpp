// The grid keeps the last layout laid into it (none, system of order n, solution of order n) and the
// region in which that layout still holds; the layout's own texts are derived on read. Written texts
// live in a text arena: the value cells of the layout (a(i,j), b(i), x(i) of the system layout, x(i)
// of the solution layout) through dense per-row slots allocated on first write, any other cell
// through a small hash map.
#include "core/grid_model.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>

#include "core/convert.h"
#include "core/errors.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "core/text_arena.h"

namespace varnex {

namespace {

using Ref = TextArena::Ref;

enum class Layout : uint8_t { None, System, Solution };

// Slot blocks hold whole rows and are at most this many slots, so a short row (the solution layout's
// one value cell) does not cost an allocation per row.
constexpr int kBlockSlots = 1024;

uint64_t cell_key(int row, int col) { return (static_cast<uint64_t>(row) << 32) | static_cast<uint32_t>(col); }

// Appends literal text or a decimal number; the buffers below hold the longest derived text.
char* put(char* p, std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
}
char* put(char* p, int v) { return std::to_chars(p, p + 12, v).ptr; }

}  // namespace

struct GridModel::Impl {
    Layout layout = Layout::None;
    int n = 0;
    int per_row = 0;      ///< value slots of one layout row
    int block_shift = 0;  ///< a block holds 1 << block_shift layout rows
    std::vector<std::unique_ptr<Ref[]>> blocks;
    std::size_t live_blocks = 0;
    std::unordered_map<uint64_t, Ref> others;
    TextArena arena;

    void set_layout(Layout kind, int order) {
        layout = kind;
        n = order;
        per_row = kind == Layout::System ? n + 2 : 1;
        block_shift = 0;
        while ((per_row << (block_shift + 1)) <= kBlockSlots) ++block_shift;
        blocks.resize(n == 0 ? 0 : ((n - 1) >> block_shift) + 1);
    }

    /// Slot of a layout value cell, or -1 for any other cell.
    int slot_of(int r, int c) const {
        if (r < 1 || r > n) return -1;
        if (layout == Layout::System) {
            if ((c & 1) == 0) return -1;
            // Slot v - 1 holds value number v: a(r,1..n), b(r), x(r).
            if (c <= b_column(n)) return value_number(c) - 1;
            return c == x_column(n) ? n + 1 : -1;
        }
        return layout == Layout::Solution && c == kSolutionXColumn ? 0 : -1;
    }
    int block_rows() const { return 1 << block_shift; }
    std::size_t block_size() const { return static_cast<std::size_t>(per_row) << block_shift; }

    const Ref* slot(int r, int s) const {
        const Ref* b = blocks[(r - 1) >> block_shift].get();
        return b ? b + ((r - 1) & (block_rows() - 1)) * per_row + s : nullptr;
    }
    Ref& slot_make(int r, int s) {
        auto& b = blocks[(r - 1) >> block_shift];
        if (!b) {
            b = std::make_unique<Ref[]>(block_size());
            ++live_blocks;
        }
        return b[((r - 1) & (block_rows() - 1)) * per_row + s];
    }

    void release(Ref& ref) {
        if (ref) arena.release(ref);
        ref = 0;
    }

    template <class F>
    void for_each_ref(F&& fn) {
        for (auto& block : blocks) {
            if (!block) continue;
            for (std::size_t k = 0; k < block_size(); ++k)
                if (block[k]) fn(block[k]);
        }
        for (auto& kv : others) fn(kv.second);
    }

    // Rewrites (the x column every sweep) leave garbage behind; compact once the arena asks for it.
    // Compaction is only an economy: when memory runs short for it, the arena stays as it is.
    void maybe_compact() {
        if (!arena.wants_compaction()) return;
        try {
            arena.compact([&](auto&& fn) { for_each_ref(fn); });
        } catch (const RunError&) {
        } catch (const std::bad_alloc&) {
        }
    }

    std::string_view derived(int r, int c, std::string& scratch) const;
};

// The layout's own text of a cell that was never written ("" without a layout).
std::string_view GridModel::Impl::derived(int r, int c, std::string& scratch) const {
    char buf[40];
    char* p = buf;
    if (layout == Layout::System) {
        if (r == 0) return c == 0 ? "System" : c == x_column(n) ? "Solution" : "";
        if (c == 0 || c == spacer_column(n) || c > x_column(n)) return "";
        if (c == x_column(n)) return "0";
        if (c == b_column(n)) {
            p = put(put(put(p, "b("), r), ")");
        } else if (c & 1) {
            p = put(put(put(put(put(p, "a("), r), ","), value_number(c)), ")");
        } else {
            p = put(put(put(p, "*x("), c >> 1), c == operator_column(n) ? ")=" : ")+");
        }
    } else if (layout == Layout::Solution) {
        if (r == 0) return c == 0 ? "Solution" : "";
        if (c != 0) return "";
        p = put(put(put(p, "X("), r), ")=");
    } else {
        return "";
    }
    scratch.assign(buf, p);
    return scratch;
}

GridModel::GridModel() : impl_(std::make_unique<Impl>()) {}
GridModel::~GridModel() = default;

void GridModel::clear() {
    *impl_ = Impl();
    if (observer_) observer_->grid_reset();
}

std::string_view GridModel::text(int row, int col, std::string& scratch) const {
    if (row < 0 || col < 0 || row >= rows_ || col >= cols_) [[unlikely]]
        raise(ErrorKind::Subscript);
    const Impl& g = *impl_;
    if (int s = g.slot_of(row, col); s >= 0) {
        if (const Ref* ref = g.slot(row, s); ref && *ref) return g.arena.get(*ref);
    } else if (!g.others.empty()) {
        if (auto it = g.others.find(cell_key(row, col)); it != g.others.end()) return g.arena.get(it->second);
    }
    return g.derived(row, col, scratch);
}

bool GridModel::has_system_shape(int n) const { return rows_ == n + 1 && cols_ == system_columns(n); }

std::string GridModel::text(int row, int col) const {
    std::string scratch;
    return std::string(text(row, col, scratch));
}

bool GridModel::system_row_texts(int row, int count, std::string_view* out) const {
    const Impl& g = *impl_;
    // The value columns of a layout row are its value slots 0..n + 1, in this order.
    if (g.layout != Layout::System || row < 1 || row > g.n || row >= rows_ || count < 0 || count > g.n + 2 ||
        value_column(count) >= cols_)
        return false;
    const Ref* slots = g.slot(row, 0);
    for (int k = 0; k < count; ++k) {
        const Ref ref = slots ? slots[k] : 0;
        out[k] = ref ? g.arena.get(slots[k]) : std::string_view();
    }
    return true;
}

void GridModel::set_text(int row, int col, std::string_view t) {
    if (row < 0 || col < 0 || row >= rows_ || col >= cols_) [[unlikely]]
        raise(ErrorKind::Subscript);
    Impl& g = *impl_;
    try {
        if (int s = g.slot_of(row, col); s >= 0) {
            Ref& ref = g.slot_make(row, s);
            ref = ref ? g.arena.replace(ref, t) : g.arena.add(t);
        } else if (auto it = g.others.find(cell_key(row, col)); it != g.others.end()) {
            it->second = g.arena.replace(it->second, t);
        } else {
            Ref ref = g.arena.add(t);
            try {
                g.others.emplace(cell_key(row, col), ref);
            } catch (...) {
                g.arena.release(ref);
                throw;
            }
        }
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    }
    g.maybe_compact();
    if (observer_) observer_->cell_written(row, col);
}

void GridModel::fill_data(int16_t n) {
    // All index arithmetic up front, so that an order the layout cannot hold changes nothing.
    const int16_t rows = int16_or_overflow(n + 1);
    const int16_t cols = int16_or_overflow(system_columns(n));
    if (rows < 1 || cols < 1) raise(ErrorKind::Subscript);
    Impl fresh;
    try {
        fresh.set_layout(Layout::System, n);
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    }
    *impl_ = std::move(fresh);
    rows_ = rows;
    cols_ = cols;
    if (observer_) observer_->grid_reset();
}

void GridModel::fill_x(int16_t n, const std::vector<float>& x) {
    const int16_t rows = int16_or_overflow(n + 1);
    if (rows < 1 || x.size() < static_cast<std::size_t>(rows)) raise(ErrorKind::Subscript);
    // The grid is not cleared: of the cells that survive the resize to two columns, only (0, 1) is not
    // overwritten below, so its text is the one to carry over.
    std::string scratch;
    std::string kept = cols_ >= 2 ? std::string(text(0, 1, scratch)) : std::string();
    Impl fresh;
    try {
        fresh.set_layout(Layout::Solution, n);
        char buf[32];
        for (int i = 1; i <= n; ++i) {
            std::size_t len = single_to_text(x[i], buf);
            fresh.slot_make(i, 0) = fresh.arena.add(std::string_view(buf, len));
        }
        if (!kept.empty()) fresh.others.emplace(cell_key(0, 1), fresh.arena.add(kept));
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    }
    *impl_ = std::move(fresh);
    rows_ = rows;
    cols_ = kSolutionColumns;
    if (observer_) observer_->grid_reset();
}

std::size_t GridModel::memory_bytes() const {
    const Impl& g = *impl_;
    // A hash node holds its key, its reference and the next pointer, rounded up by the allocator.
    constexpr std::size_t kNodeBytes = 32;
    return g.blocks.capacity() * sizeof(g.blocks[0]) + g.live_blocks * g.block_size() * sizeof(Ref) +
           g.arena.memory_bytes() + g.others.size() * kNodeBytes + g.others.bucket_count() * sizeof(void*);
}

}  // namespace varnex
