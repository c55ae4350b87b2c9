#pragma once
// Two ways to run out of disk in a test: a small tmpfs mounted for the test (where the process may
// mount one), and, everywhere, writes of a ReplacingFile that fail with ENOSPC after a byte budget.

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "files/replace_file.h"

namespace varnex::test {

/// A tmpfs of `bytes` at `folder` (created), unmounted again by the destructor; mounted() is false
/// where the process may not mount one, or when VARNEX_TEST_NO_MOUNT is set (to try the seam).
class SmallDisk {
  public:
    SmallDisk(const std::string& folder, std::size_t bytes) : folder_(folder) {
        std::filesystem::create_directories(folder);
        const std::string opts = "size=" + std::to_string(bytes);
        mounted_ =
            !std::getenv("VARNEX_TEST_NO_MOUNT") && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, opts.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return mounted_; }

  private:
    std::string folder_;
    bool mounted_ = false;
};

/// While it lives, the writes of every ReplacingFile fail with ENOSPC once `budget` bytes went out.
class FailingWrites {
  public:
    explicit FailingWrites(std::size_t budget) {
        left_ = budget;
        replacing_file_write = &write_within_budget;
    }
    ~FailingWrites() { replacing_file_write = saved_; }
    FailingWrites(const FailingWrites&) = delete;
    FailingWrites& operator=(const FailingWrites&) = delete;

  private:
    static inline std::size_t left_ = 0;
    static long write_within_budget(int fd, const void* data, std::size_t size) {
        if (left_ == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = size < left_ ? size : left_;
        left_ -= n;
        return ::write(fd, data, n);
    }
    WriteCall saved_ = replacing_file_write;
};

/// Fills the file system that holds `folder` up to its last byte with one file of that name.
inline void fill_disk(const std::string& file) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) return;
    static const char block[4096] = {};
    while (std::fwrite(block, 1, sizeof block, f) == sizeof block) {
    }
    std::fflush(f);
    // Byte by byte into the last partial block.
    while (std::fputc(0, f) != EOF && std::fflush(f) == 0) {
    }
    std::fclose(f);
}

}  // namespace varnex::test
