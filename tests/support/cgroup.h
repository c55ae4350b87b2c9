#pragma once
// Control groups for the tests that run part of themselves with little memory or a slow disk: this
// process's own group of a controller, and a group made below it.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnex::test {

struct OwnCgroup {
    std::string folder;  ///< below /sys/fs/cgroup
    bool v2 = false;     ///< the unified hierarchy: no v1 hierarchy holds the controller
};

/// This process's group in the v1 hierarchy of `controller`, else in the unified one; none when
/// /proc/self/cgroup names neither.
std::optional<OwnCgroup> own_cgroup(const std::string& controller);

/// Makes a group named after this process below `parent` (as root only) and writes each setting
/// (file, value) into it; returns its folder, or "" when a step failed, the group then removed again.
/// The caller removes it with rmdir once the processes in it have ended.
std::string make_cgroup(const std::string& parent, const std::vector<std::pair<std::string, std::string>>& settings);

/// Writes the text to the file and flushes it; false when either failed.
bool write_text(const std::string& path, const std::string& text);

}  // namespace varnex::test
