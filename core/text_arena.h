#pragma once
// A store of short texts addressed by 32-bit references, for the grid's written cells. A text of at
// most three bytes lives in the reference itself; a longer one is an entry in the arena: its length
// (7 bits per byte, high bit = more) followed by its bytes, packed into chunks that never move, so a
// text read out stays where it is until it is rewritten or the arena is compacted. Rewritten and
// released entries leave garbage behind; the owner compacts when it has piled up.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace varnex {

class TextArena {
  public:
    /// Reference to a text. Inline (high bit set): the length in bits 24..30 and the bytes in the low
    /// bytes, so that the reference's own memory holds the text. Otherwise an entry: chunk number + 1
    /// in bits 20..30 and the position in the chunk in bits 0..19. 0 is never a reference.
    using Ref = uint32_t;

    /// Stores a text. Throws RunError(OutOfMemory) when the chunks cannot be had or run out.
    Ref add(std::string_view text);
    /// Replaces the text of `ref`: in place when the new text fits the old entry, otherwise as a new
    /// reference (the old entry becomes garbage). Returns the reference that now holds the text.
    Ref replace(Ref ref, std::string_view text);
    /// Marks an entry as garbage.
    void release(Ref ref);
    /// The text of a reference; valid until it is rewritten, the arena compacted or cleared, or (for an
    /// inline text) the reference itself moved.
    std::string_view get(const Ref& ref) const {
        if (ref & kInline) return {reinterpret_cast<const char*>(&ref), (ref >> 24) & 0x7F};
        const unsigned char* p = entry(ref);
        std::size_t len = *p++;
        if (len >= 0x80) [[unlikely]]
            return get_long(p);
        return {reinterpret_cast<const char*>(p), len};
    }

    /// Garbage has reached a quarter of the live entries and is worth a pass. The quarter keeps a grid
    /// whose approximation column is rewritten every sweep within 1.25 times its live texts, while
    /// the copying stays rare (a sweep leaves at most one column's worth of garbage).
    bool wants_compaction() const { return garbage_ >= kCompactionFloor && garbage_ * 4 > live_; }

    /// Copies every live entry into fresh chunks and drops the old ones. `for_each_ref(fn)` must call
    /// fn(Ref&) for every live reference the owner holds, in the same order on both of its two calls.
    /// The new chunks are all obtained before anything moves: when memory runs short the arena is
    /// left as it was and RunError(OutOfMemory) is raised.
    template <class ForEachRef>
    void compact(ForEachRef&& for_each_ref);

    /// Drops every entry and every chunk.
    void clear();
    /// Bytes held by the chunks and their table.
    std::size_t memory_bytes() const { return chunk_bytes_ + chunks_.capacity() * sizeof(chunks_[0]); }

  private:
    static_assert(std::endian::native == std::endian::little, "inline texts sit in the low bytes");
    static constexpr Ref kInline = Ref{1} << 31;
    static constexpr std::size_t kMaxInline = 3;
    static constexpr unsigned kPosBits = 20;
    static constexpr uint32_t kMaxChunk = uint32_t{1} << kPosBits;
    static constexpr uint32_t kFirstChunk = 4096;
    static constexpr std::size_t kMaxChunks = (std::size_t{1} << (31 - kPosBits)) - 1;
    static constexpr std::size_t kCompactionFloor = 64 * 1024;

    // Where the next entry goes. Chunk sizes grow from 4 KB to 1 MB; an entry larger than the next
    // chunk gets a chunk of its own size. The same rule lays out new entries and compacted ones.
    struct Cursor {
        std::size_t chunks = 0;  ///< chunks opened so far
        std::size_t used = 0;    ///< bytes used in the last chunk
        std::size_t room = 0;    ///< bytes left in the last chunk
        std::size_t next_size = kFirstChunk;
        /// Size of the chunk to open before an entry of `size` bytes, or 0 when it fits.
        std::size_t needs(std::size_t size) const { return size <= room ? 0 : std::max(next_size, size); }
        /// A chunk of `size` bytes was opened and is now the last.
        void opened(std::size_t size) {
            ++chunks;
            used = 0;
            room = size;
            next_size = std::min<std::size_t>(next_size * 2, kMaxChunk);
        }
        /// Reference of an entry of `size` bytes at the current place; advances past it.
        Ref take(std::size_t size) {
            Ref ref = static_cast<Ref>(chunks << kPosBits) | static_cast<Ref>(used);
            used += size;
            room -= size;
            return ref;
        }
    };

    const unsigned char* entry(Ref ref) const {
        return reinterpret_cast<const unsigned char*>(chunks_[(ref >> kPosBits) - 1].get()) + (ref & (kMaxChunk - 1));
    }
    unsigned char* entry(Ref ref) { return const_cast<unsigned char*>(std::as_const(*this).entry(ref)); }
    static std::string_view get_long(const unsigned char* p);
    static std::size_t entry_size(std::size_t len);
    std::size_t entry_size_at(Ref ref) const;
    static void write_entry(unsigned char* p, std::string_view text);
    void open_chunk(std::size_t size);

    std::vector<std::unique_ptr<char[]>> chunks_;
    std::size_t chunk_bytes_ = 0;
    Cursor cursor_;
    std::size_t live_ = 0;
    std::size_t garbage_ = 0;
};

template <class ForEachRef>
void TextArena::compact(ForEachRef&& for_each_ref) {
    // Plan the new layout first, with the placement rule that the copy will use.
    Cursor plan;
    std::vector<std::size_t> sizes;
    for_each_ref([&](Ref& ref) {
        if (ref & kInline) return;
        std::size_t size = entry_size_at(ref);
        if (std::size_t open = plan.needs(size)) {
            sizes.push_back(open);
            plan.opened(open);
        }
        plan.take(size);
    });
    TextArena fresh;
    for (std::size_t s : sizes) fresh.open_chunk(s);  // may raise OutOfMemory: nothing has moved yet

    // Copy every live entry to its planned place and repoint its owner.
    Cursor& copy = fresh.cursor_;
    for_each_ref([&](Ref& ref) {
        if (ref & kInline) return;
        std::size_t size = entry_size_at(ref);
        if (std::size_t open = copy.needs(size)) copy.opened(open);
        Ref to = copy.take(size);
        write_entry(fresh.entry(to), get(ref));
        ref = to;
    });
    fresh.live_ = live_;
    *this = std::move(fresh);
}

}  // namespace varnex
