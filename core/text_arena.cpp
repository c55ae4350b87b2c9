#include "core/text_arena.h"

#include <cstring>
#include <new>

#include "core/errors.h"

namespace varnex {

std::size_t TextArena::entry_size(std::size_t len) {
    std::size_t head = 1;
    for (std::size_t v = len >> 7; v != 0; v >>= 7) ++head;
    return head + len;
}

std::string_view TextArena::get_long(const unsigned char* p) {
    // The first length byte has been read already and has its high bit set.
    std::size_t len = p[-1] & 0x7F;
    unsigned shift = 7;
    unsigned char b;
    do {
        b = *p++;
        len |= static_cast<std::size_t>(b & 0x7F) << shift;
        shift += 7;
    } while (b & 0x80);
    return {reinterpret_cast<const char*>(p), len};
}

std::size_t TextArena::entry_size_at(Ref ref) const { return entry_size(get(ref).size()); }

void TextArena::write_entry(unsigned char* p, std::string_view text) {
    std::size_t len = text.size();
    while (len >= 0x80) {
        *p++ = static_cast<unsigned char>(len | 0x80);
        len >>= 7;
    }
    *p++ = static_cast<unsigned char>(len);
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
}

void TextArena::open_chunk(std::size_t size) {
    if (chunks_.size() >= kMaxChunks) raise(ErrorKind::OutOfMemory);
    try {
        chunks_.reserve(chunks_.size() + 1);
        chunks_.push_back(std::unique_ptr<char[]>(new char[size]));
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    }
    chunk_bytes_ += size;
}

TextArena::Ref TextArena::add(std::string_view text) {
    if (text.size() <= kMaxInline) {
        Ref ref = 0;
        if (!text.empty()) std::memcpy(&ref, text.data(), text.size());
        return ref | kInline | static_cast<Ref>(text.size()) << 24;
    }
    std::size_t size = entry_size(text.size());
    if (std::size_t open = cursor_.needs(size)) {
        open_chunk(open);
        cursor_.opened(open);
    }
    Ref ref = cursor_.take(size);
    write_entry(entry(ref), text);
    live_ += size;
    return ref;
}

TextArena::Ref TextArena::replace(Ref ref, std::string_view text) {
    if ((ref & kInline) || text.size() <= kMaxInline) {
        Ref fresh = add(text);
        release(ref);
        return fresh;
    }
    std::size_t old_len = get(ref).size();
    std::size_t old_size = entry_size(old_len);
    std::size_t new_size = entry_size(text.size());
    // In place when the length prefix keeps its width and the bytes fit; the tail left over is garbage.
    if (text.size() <= old_len && new_size - text.size() == old_size - old_len) {
        write_entry(entry(ref), text);
        live_ -= old_size - new_size;
        garbage_ += old_size - new_size;
        return ref;
    }
    Ref fresh = add(text);
    release(ref);
    return fresh;
}

void TextArena::release(Ref ref) {
    if (ref & kInline) return;
    std::size_t size = entry_size_at(ref);
    live_ -= size;
    garbage_ += size;
}

void TextArena::clear() { *this = TextArena(); }

}  // namespace varnex
