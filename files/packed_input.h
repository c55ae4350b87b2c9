#pragma once
// Compressed imports: a file compressed with gzip, bzip2, xz or zstd, and a tar archive (compressed
// or not) or a zip archive, as the SuiteSparse collection hands its matrices out (NAME.tar.gz
// holding NAME/NAME.mtx and, where the matrix has one, NAME/NAME_b.mtx). Read through libarchive,
// entirely in memory.

#include <string>
#include <string_view>

namespace varnex {

/// What the first bytes of a file say it is: "gzip", "bzip2", "xz", "zstd", "tar", "zip", or nullptr for
/// anything else (taken as plain text).
const char* packed_kind(std::string_view head);

/// The name without the suffixes of a compression or an archive: "x.mtx.gz" gives "x.mtx",
/// "bcsstk01.tar.gz", "bcsstk01.tgz" and "bcsstk01.zip" give "bcsstk01", "x.csv" stays as it is.
std::string without_packed_suffix(const std::string& name);

/// What a packed file holds for Import.
struct Unpacked {
    std::string name;  ///< the file's name inside: "x.mtx" for x.mtx.gz, "NAME/NAME.mtx" in an archive
    std::string bytes;
    bool archive = false;  ///< a tar or zip archive, whose right-hand side comes from inside it
    bool has_b = false;    ///< the archive holds the matrix's NAME_b.mtx beside it
    std::string b_name;
    std::string b_bytes;
};

/// Unpacks `packed` (bytes that packed_kind recognises), named `file` in refusals. A compressed file
/// gives the one file it holds, named after `file` without its compression suffix. An archive gives
/// its STEM.mtx (STEM being `file` without its archive suffix; otherwise its only .mtx that is not a
/// _b.mtx) and the NAME_b.mtx in the same folder. Raises ImportRefusal for damaged data, an archive
/// without a matrix and more than 4 GiB unpacked; RunError(OutOfMemory) when memory runs out.
Unpacked unpack(const std::string& file, std::string_view packed);

}  // namespace varnex
