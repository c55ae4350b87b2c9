#include "files/dropped_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "core/ascii.h"

namespace varnex {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kWhatDrops =
    "Drop a text system file to open it, or a .mtx, .csv or .tsv file to import it.";

std::string lower_name(const std::string& path) { return ascii_lower(fs::path(path).filename().string()); }

bool ends_with_any(const std::string& name, std::initializer_list<std::string_view> endings) {
    return std::any_of(endings.begin(), endings.end(), [&](std::string_view e) {
        return name.size() > e.size() && std::string_view(name).substr(name.size() - e.size()) == e;
    });
}

// A text file holds no NUL byte in its first block; a picture, an executable or a compressed file
// without a known extension does.
bool looks_like_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::array<char, 4096> block{};
    in.read(block.data(), block.size());
    const auto got = static_cast<std::size_t>(in.gcount());
    return std::find(block.begin(), block.begin() + got, '\0') == block.begin() + got;
}

DropDecision refuse(std::string message) { return {DropDecision::Action::Refuse, {}, std::move(message)}; }

}  // namespace

bool is_import_name(const std::string& path) {
    return ends_with_any(lower_name(path), {".mtx", ".csv", ".tsv", ".gz", ".bz2", ".xz", ".zst", ".zip", ".tgz",
                                            ".tbz2", ".txz", ".tar"});
}

DropDecision decide_drop(const std::vector<std::string>& paths) {
    if (paths.empty()) return refuse("Only a file on this computer can be dropped here. " + std::string(kWhatDrops));
    if (paths.size() > 1)
        return refuse(std::to_string(paths.size()) + " files were dropped; VARNEX SOLVER takes one at a time. " +
                      std::string(kWhatDrops));
    const std::string& path = paths.front();
    const std::string name = fs::path(path).filename().string();
    std::error_code ec;
    if (fs::is_directory(path, ec)) return refuse(path + " is a folder. " + std::string(kWhatDrops));
    if (!fs::is_regular_file(path, ec)) return refuse("There is no file " + path + ".");
    if (is_import_name(path)) return {DropDecision::Action::Import, path, {}};
    if (!looks_like_text(path)) return refuse(name + " is not a text file. " + std::string(kWhatDrops));
    return {DropDecision::Action::Open, path, {}};
}

}  // namespace varnex
