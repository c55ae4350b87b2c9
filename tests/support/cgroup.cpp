#include "support/cgroup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace varnex::test {

std::optional<OwnCgroup> own_cgroup(const std::string& controller) {
    // Lines "id:controllers:path", v1 hierarchies with their controllers, the unified one as "0::path".
    std::ifstream in("/proc/self/cgroup");
    std::optional<OwnCgroup> unified;
    for (std::string line; std::getline(in, line);) {
        const auto a = line.find(':'), b = line.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        std::string controllers(1, ',');
        controllers.append(line, a + 1, b - a - 1).push_back(',');
        const std::string path = line.substr(b + 1), below = path == "/" ? std::string() : path;
        if (controllers.find(',' + controller + ',') != std::string::npos)
            return OwnCgroup{"/sys/fs/cgroup/" + controller + below, false};
        if (line.compare(0, 3, "0::") == 0) unified = OwnCgroup{"/sys/fs/cgroup" + below, true};
    }
    return unified;
}

std::string make_cgroup(const std::string& parent, const std::vector<std::pair<std::string, std::string>>& settings) {
    const std::string dir = parent + "/varnex_test_" + std::to_string(::getpid());
    if (::geteuid() != 0 || ::mkdir(dir.c_str(), 0755) != 0) return "";
    for (const auto& [file, value] : settings) {
        if (!write_text(dir + "/" + file, value)) {
            ::rmdir(dir.c_str());
            return "";
        }
    }
    return dir;
}

bool write_text(const std::string& path, const std::string& text) {
    std::ofstream f(path);
    return static_cast<bool>(f << text) && static_cast<bool>(f.flush());
}

}  // namespace varnex::test
