#pragma once
// The one family of failures that a command's error trap catches.

#include <stdexcept>
#include <string>

namespace varnex {

enum class ErrorKind {
    Overflow,        ///< floating-point overflow or invalid result, or a 16-bit index/counter out of range
    DivisionByZero,  ///< a non-zero value divided by zero
    OutOfMemory,     ///< an array or the grid could not be dimensioned
    TypeMismatch,    ///< a text that does not convert to a number
    Subscript,       ///< an index outside an array's bounds or a grid cell outside the grid
    FileError,       ///< a file or folder that cannot be opened, read, written or made current
};

/// A run-time error raised to the running command, which catches it where its trap stands.
class RunError : public std::runtime_error {
public:
    explicit RunError(ErrorKind kind, const std::string& what = {});
    ErrorKind kind() const { return kind_; }

private:
    ErrorKind kind_;
};

/// Name of an error kind, for diagnostics and tests.
const char* error_name(ErrorKind kind);

[[noreturn]] void raise(ErrorKind kind);

}  // namespace varnex
