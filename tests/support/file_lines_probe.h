#pragma once
// The tests' view of a FileLines' buffer, which the program itself never needs to see.

#include <cstddef>

#include "files/text_io.h"

namespace varnex {

struct FileLinesProbe {
    /// Bytes the buffer reads the file into now.
    static std::size_t buffer_size(const FileLines& lines) { return lines.size_; }
};

}  // namespace varnex
