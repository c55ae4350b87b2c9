#include "files/packed_input.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "core/ascii.h"
#include "core/errors.h"
#include "files/imported_system.h"

namespace varnex {

namespace {

// Array files keep 32-bit offsets into their text, so nothing larger can be imported.
constexpr std::size_t kMaxUnpacked = UINT32_MAX;

bool ends_with(std::string_view s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    for (std::size_t k = 0; k < tail.size(); ++k) {
        if (ascii_lower(s[s.size() - tail.size() + k]) != tail[k]) return false;
    }
    return true;
}

std::string_view base_of(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The folder part of an archive member's path, with its slash ("" at the top).
std::string_view folder_of(std::string_view path) { return path.substr(0, path.size() - base_of(path).size()); }

struct ArchiveFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveFree>;

// One walk over the packed bytes: each member in turn, read or skipped.
class Walk {
  public:
    Walk(const std::string& file, std::string_view packed)
        : file_(file), kind_(packed_kind(packed) ? packed_kind(packed) : "archive"), a_(archive_read_new()) {
        if (!a_) throw std::bad_alloc();
        archive_read_support_filter_all(a_.get());
        archive_read_support_format_tar(a_.get());
        archive_read_support_format_zip(a_.get());
        // A compressed file that is not an archive is one member, "data", of the raw format.
        archive_read_support_format_raw(a_.get());
        if (archive_read_open_memory(a_.get(), packed.data(), packed.size()) != ARCHIVE_OK) damaged();
    }

    // The next member's path; false after the last.
    bool next(std::string& path) {
        archive_entry* e = nullptr;
        const int r = archive_read_next_header(a_.get(), &e);
        if (r == ARCHIVE_EOF) return false;
        if (r < ARCHIVE_WARN) damaged();
        path = archive_entry_pathname(e) ? archive_entry_pathname(e) : "";
        size_ = archive_entry_size_is_set(e) ? static_cast<std::size_t>(archive_entry_size(e)) : 0;
        regular_ = archive_entry_filetype(e) == AE_IFREG || archive_format(a_.get()) == ARCHIVE_FORMAT_RAW;
        return true;
    }
    bool regular() const { return regular_; }
    bool raw() const { return archive_format(a_.get()) == ARCHIVE_FORMAT_RAW; }

    // The current member's bytes.
    std::string read() {
        std::string out;
        if (size_ > kMaxUnpacked) too_large();
        // An archive's stated size is trusted for the first 64 MiB only; beyond, the string grows.
        out.reserve(std::min<std::size_t>(size_, std::size_t{64} << 20));
        char block[64 * 1024];
        for (;;) {
            const la_ssize_t got = archive_read_data(a_.get(), block, sizeof block);
            if (got < 0) damaged();
            if (got == 0) return out;
            if (out.size() + static_cast<std::size_t>(got) > kMaxUnpacked) too_large();
            out.append(block, static_cast<std::size_t>(got));
        }
    }

  private:
    [[noreturn]] void damaged() const {
        const char* why = archive_error_string(a_.get());
        throw ImportRefusal(
            file_, 0, "the " + std::string(kind_) + " data cannot be unpacked" + (why ? std::string(": ") + why : ""));
    }
    [[noreturn]] void too_large() const {
        throw ImportRefusal(file_, 0, "it unpacks to more than 4 GiB, beyond what Import reads");
    }

    const std::string& file_;
    const char* kind_;  ///< the compression (or "tar") for messages
    ArchivePtr a_;
    std::size_t size_ = 0;
    bool regular_ = false;
};

// The archive member that holds the matrix: STEM.mtx anywhere, else the only .mtx that is not a
// right-hand side. Empty when there is none.
std::string choose_matrix(const std::vector<std::string>& members, const std::string& stem) {
    std::vector<std::string> candidates;
    for (const std::string& m : members) {
        if (base_of(m) == stem + ".mtx") return m;
        if (ends_with(m, ".mtx") && !ends_with(m, "_b.mtx")) candidates.push_back(m);
    }
    return candidates.size() == 1 ? candidates[0] : std::string();
}

Unpacked unpack_archive(const std::string& file, std::string_view packed, Walk& first, std::string path) {
    std::vector<std::string> members;
    do {
        if (first.regular()) members.push_back(path);
    } while (first.next(path));
    const std::string stem = without_packed_suffix(file);
    Unpacked u;
    u.archive = true;
    u.name = choose_matrix(members, stem);
    if (u.name.empty())
        throw ImportRefusal(file, 0, "the archive holds no " + stem + ".mtx (nor one other Matrix Market file)");
    const std::string_view base = base_of(u.name);
    const std::string b_name = std::string(folder_of(u.name)) + std::string(base.substr(0, base.size() - 4)) + "_b.mtx";
    Walk again(file, packed);
    while (again.next(path)) {
        if (!again.regular()) continue;
        if (path == u.name) {
            u.bytes = again.read();
        } else if (path == b_name) {
            u.b_name = path;
            u.b_bytes = again.read();
            u.has_b = true;
        }
    }
    return u;
}

}  // namespace

const char* packed_kind(std::string_view head) {
    if (head.starts_with("\x1F\x8B")) return "gzip";
    if (head.starts_with("BZh")) return "bzip2";
    if (head.starts_with(std::string_view("\xFD"
                                          "7zXZ\0",
                                          6)))
        return "xz";
    if (head.starts_with("\x28\xB5\x2F\xFD")) return "zstd";
    if (head.size() >= 262 && head.substr(257, 5) == "ustar") return "tar";
    if (head.starts_with("PK\x03\x04")) return "zip";
    return nullptr;
}

std::string without_packed_suffix(const std::string& name) {
    for (std::string_view tail : {".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst", ".tgz", ".tbz2", ".txz", ".tar", ".zip"})
        if (ends_with(name, tail)) return name.substr(0, name.size() - tail.size());
    for (std::string_view tail : {".gz", ".bz2", ".xz", ".zst"})
        if (ends_with(name, tail)) return name.substr(0, name.size() - tail.size());
    return name;
}

Unpacked unpack(const std::string& file, std::string_view packed) {
    Walk walk(file, packed);
    std::string path;
    if (!walk.next(path)) throw ImportRefusal(file, 0, "the archive is empty");
    if (!walk.raw()) return unpack_archive(file, packed, walk, path);
    Unpacked u;
    u.name = std::string(base_of(without_packed_suffix(file)));
    u.bytes = walk.read();
    return u;
}

}  // namespace varnex
