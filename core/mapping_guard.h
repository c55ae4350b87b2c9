#pragma once
// Mappings of files that another program may shorten while they are read. Reading a page of a shared
// mapping that lies beyond the end of its file raises SIGBUS, which would end the process. A guarded
// mapping answers that signal instead: the pages from the faulting one to the end of the mapping are
// replaced by zero pages, the read goes on with zeros, and the mapping is marked lost, so that the
// reader reports a file error at its next check instead of using what it read.

#include <cstddef>

namespace varnex {

class MappingGuard {
  public:
    MappingGuard() = default;
    ~MappingGuard() { release(); }
    MappingGuard(const MappingGuard&) = delete;
    MappingGuard& operator=(const MappingGuard&) = delete;

    /// Guards the mapping [p, p + bytes) until release(). False when no guard is free (a few mappings
    /// at once are guarded; a reader then works unguarded, as before).
    bool guard(const void* p, std::size_t bytes);
    /// Stops guarding; call before the mapping is unmapped.
    void release();
    /// True when a read met the end of the file since guard().
    bool lost() const;

  private:
    int slot_ = -1;
};

}  // namespace varnex
