#pragma once
// Compressed files and tar archives made in memory, as gzip, bzip2, xz and tar write them.

#include <string>
#include <utility>
#include <vector>

namespace varnex::test {

/// `bytes` compressed by `filter` ("gzip", "bzip2", "xz", "zstd") as a lone file.
std::string compressed(const std::string& filter, const std::string& bytes);

/// A tar archive of the members (path, bytes), compressed by `filter` ("" for none).
std::string tar_archive(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& members);

/// A zip archive of the members (path, bytes).
std::string zip_archive(const std::vector<std::pair<std::string, std::string>>& members);

}  // namespace varnex::test
