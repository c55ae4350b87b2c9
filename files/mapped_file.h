#pragma once
// A file mapped read-only into memory, so that a large import is parsed straight from the page cache
// without first being copied into a buffer.

#include <cstddef>
#include <string>
#include <string_view>

namespace varnex {

class MappedFile {
  public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    /// Maps the whole file; false when it cannot be mapped (it cannot be opened, is empty or is not
    /// an ordinary file), and the caller reads it the ordinary way.
    bool map(const std::string& path);
    std::string_view bytes() const { return {static_cast<const char*>(data_), size_}; }

  private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace varnex
