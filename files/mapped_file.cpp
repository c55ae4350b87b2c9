#include "files/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnex {

MappedFile::~MappedFile() {
    if (data_) munmap(data_, size_);
}

bool MappedFile::map(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    void* p = MAP_FAILED;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        p = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return false;
    data_ = p;
    size_ = static_cast<std::size_t>(st.st_size);
    madvise(data_, size_, MADV_SEQUENTIAL);
    return true;
}

}  // namespace varnex
