#include "core/state.h"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

#include "core/errors.h"
#include "core/memory_budget.h"

namespace varnex {

void Messages::fill() {
    MsgBadNumber = " Sorry, not correct format of the entered number.";
    MsgBadData = " Sorry, incorrect data or not all  data are available.";
    MsgBadFile = " Sorry, not correct data in the file.";
    MsgNoMemory = kMsgNoMemory;
    MsgNoFile = " Sorry, there is no the file.";
    MsgReplaceFile = "Such file exists. Do you want to replace the old file?";
}

void ensure_memory(std::size_t bytes) {
    // Linux overcommits: an allocation beyond what the machine and the memory cgroups still allow would
    // succeed and the process would be killed later, so such a request is refused up front as out of
    // memory.
    if (!fits_in_memory(bytes)) raise(ErrorKind::OutOfMemory);
    long pages = sysconf(_SC_PHYS_PAGES);
    long page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0 && bytes / static_cast<std::size_t>(page) >= static_cast<std::size_t>(pages))
        raise(ErrorKind::OutOfMemory);
}

void SquareMatrix::dim(int n) {
    if (n < 0) raise(ErrorKind::Subscript);
    std::size_t n1 = static_cast<std::size_t>(n) + 1;
    // The same bounds again: the memory already held is cleared in place. Fresh pages cost a fault each
    // on first touch, several times the clearing itself.
    if (n1 == stride_) {
        std::fill(v_.begin(), v_.end(), 0.0f);
        return;
    }
    release();
    // (n+1)^2 elements; a count whose byte size does not even fit a size_t is out of memory too.
    if (n1 > std::numeric_limits<std::size_t>::max() / sizeof(float) / n1) raise(ErrorKind::OutOfMemory);
    ensure_memory(n1 * n1 * sizeof(float));
    try {
        v_.assign(n1 * n1, 0.0f);
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    } catch (const std::length_error&) {
        raise(ErrorKind::OutOfMemory);
    }
    stride_ = n1;
}

void SquareMatrix::release() {
    std::vector<float>().swap(v_);
    stride_ = 0;
}

void dim_cleared(std::vector<float>& v, int n) {
    if (n < 0) raise(ErrorKind::Subscript);
    std::size_t n1 = static_cast<std::size_t>(n) + 1;
    if (v.size() == n1) {
        std::fill(v.begin(), v.end(), 0.0f);
        return;
    }
    ensure_memory(n1 * sizeof(float));
    try {
        std::vector<float>(n1, 0.0f).swap(v);
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    } catch (const std::length_error&) {
        raise(ErrorKind::OutOfMemory);
    }
}

void dim_keep(std::vector<float>& v, int n) {
    if (n < 0) raise(ErrorKind::Subscript);
    std::size_t n1 = static_cast<std::size_t>(n) + 1;
    ensure_memory(n1 * sizeof(float));
    try {
        v.resize(n1, 0.0f);
    } catch (const std::bad_alloc&) {
        raise(ErrorKind::OutOfMemory);
    } catch (const std::length_error&) {
        raise(ErrorKind::OutOfMemory);
    }
    if (!v.empty()) v[0] = 0.0f;
}

}  // namespace varnex
