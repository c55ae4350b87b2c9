#include "core/errors.h"

namespace varnex {

RunError::RunError(ErrorKind kind, const std::string& what)
    : std::runtime_error(what.empty() ? error_name(kind) : what), kind_(kind) {}

const char* error_name(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow: return "Overflow";
        case ErrorKind::DivisionByZero: return "Division by zero";
        case ErrorKind::OutOfMemory: return "Out of memory";
        case ErrorKind::TypeMismatch: return "Type mismatch";
        case ErrorKind::Subscript: return "Subscript out of range";
        case ErrorKind::FileError: return "File error";
    }
    return "Error";
}

void raise(ErrorKind kind) { throw RunError(kind); }

}  // namespace varnex
