#pragma once
// A fresh temporary folder and a working-directory guard, header-only so that the benchmarks and the
// fuzz targets use the same ones as the tests.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace varnex::test {

/// A fresh, empty folder below `where` (the temporary folder, which TMPDIR names), removed again with
/// everything in it, and with the row file that lies beside it when it served as an application folder.
class TempDir {
  public:
    explicit TempDir(const std::filesystem::path& where = std::filesystem::temp_directory_path()) {
        std::string tmpl = (where / "varnex_XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
        std::filesystem::remove(path_ + "data.vnx", ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    /// Writes a file below the folder (binary, exactly the bytes given); returns its full path.
    std::string write(const std::string& rel, const std::string& bytes) const {
        const std::filesystem::path p = std::filesystem::path(path_) / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }

  private:
    std::string path_;
};

/// Puts the working directory back, when the guard goes, to what it was when the guard was made: the
/// commands move it into the folders they read and write, which the tests then remove.
class CwdGuard {
  public:
    CwdGuard() : saved_(std::filesystem::current_path()) {}
    ~CwdGuard() {
        std::error_code ec;
        std::filesystem::current_path(saved_, ec);
    }
    CwdGuard(const CwdGuard&) = delete;
    CwdGuard& operator=(const CwdGuard&) = delete;

  private:
    std::filesystem::path saved_;
};

}  // namespace varnex::test
