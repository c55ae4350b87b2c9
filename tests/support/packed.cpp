#include "support/packed.h"

#include <archive.h>
#include <archive_entry.h>

#include <stdexcept>

namespace varnex::test {

namespace {

// `format`: 'r' raw (one compressed file), 't' tar, 'z' zip.
std::string write(const std::string& filter, char format,
                  const std::vector<std::pair<std::string, std::string>>& members) {
    archive* a = archive_write_new();
    if (!filter.empty()) archive_write_add_filter_by_name(a, filter.c_str());
    if (format == 't')
        archive_write_set_format_ustar(a);
    else if (format == 'z')
        archive_write_set_format_zip(a);
    else
        archive_write_set_format_raw(a);
    std::size_t total = 1 << 16;
    for (const auto& m : members) total += 2 * m.second.size() + 1024;
    std::string out(total, '\0');
    std::size_t used = 0;
    if (archive_write_open_memory(a, out.data(), out.size(), &used) != ARCHIVE_OK)
        throw std::runtime_error(archive_error_string(a));
    for (const auto& [path, bytes] : members) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, path.c_str());
        archive_entry_set_size(e, static_cast<la_int64_t>(bytes.size()));
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_write_header(a, e);
        archive_write_data(a, bytes.data(), bytes.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    out.resize(used);
    return out;
}

}  // namespace

std::string compressed(const std::string& filter, const std::string& bytes) {
    return write(filter, 'r', {{"data", bytes}});
}

std::string tar_archive(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& members) {
    return write(filter, 't', members);
}

std::string zip_archive(const std::vector<std::pair<std::string, std::string>>& members) {
    return write("", 'z', members);
}

}  // namespace varnex::test
