// The memory budget: /proc/meminfo and the memory cgroups of this process, read afresh at each ask
// (they change while the program runs).

#include "core/memory_budget.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/memory_budget_testing.h"

namespace varnex {

namespace {

std::atomic<std::uint64_t> g_override{0};  // 0: measured

// A number from the first line of a file; none when missing or not a number ("max" in cgroup v2).
bool read_number(const std::string& path, std::uint64_t& v) {
    std::ifstream in(path);
    std::string s;
    if (!(in >> s)) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long x = std::strtoull(s.c_str(), &end, 10);
    if (errno != 0 || end == s.c_str() || *end != '\0') return false;
    v = x;
    return true;
}

// The value of `key` in a "key value" file such as memory.stat; 0 when absent.
std::uint64_t stat_value(const std::string& path, const std::string& key) {
    std::ifstream in(path);
    std::string k;
    std::uint64_t v;
    while (in >> k >> v)
        if (k == key) return v;
    return 0;
}

// What one cgroup still allows: its limit minus its usage, where the page cache counts as free (the
// kernel gives it back before it kills anyone). UINT64_MAX when the cgroup sets no limit.
std::uint64_t cgroup_room(const std::string& dir, bool v2) {
    std::uint64_t limit;
    if (!read_number(dir + (v2 ? "/memory.max" : "/memory.limit_in_bytes"), limit)) return UINT64_MAX;
    std::uint64_t usage = 0;
    if (!read_number(dir + (v2 ? "/memory.current" : "/memory.usage_in_bytes"), usage)) return limit;
    const std::uint64_t cache = stat_value(dir + "/memory.stat", v2 ? "file" : "total_cache");
    usage -= std::min(usage, cache);
    return limit > usage ? limit - usage : 0;
}

// The least room of the cgroups this process runs in and of their ancestors.
std::uint64_t cgroup_room() {
    std::uint64_t room = UINT64_MAX;
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    while (std::getline(in, line)) {
        // hierarchy-id:controllers:path
        const auto a = line.find(':'), b = line.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        const std::string ctl = line.substr(a + 1, b - a - 1);
        std::string path = line.substr(b + 1);
        std::string root;
        bool v2 = false;
        if (ctl.empty() && line.compare(0, a, "0") == 0)
            root = "/sys/fs/cgroup", v2 = true;
        else if (("," + ctl + ",").find(",memory,") != std::string::npos)
            root = "/sys/fs/cgroup/memory";
        else
            continue;
        for (;;) {
            room = std::min(room, cgroup_room(root + path, v2));
            if (v2) room = std::min(room, cgroup_room(root + "/unified" + path, true));
            if (path.empty() || path == "/") break;
            path.erase(path.rfind('/'));
        }
    }
    return room;
}

std::uint64_t mem_available() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    std::uint64_t kb;
    std::string unit;
    while (in >> key >> kb >> unit)
        if (key == "MemAvailable:") return kb * 1024;
    return UINT64_MAX;
}

// Left aside for what a command allocates besides the arrays it asks about (texts, buffers, stacks).
constexpr std::uint64_t kReserve = 8ull << 20;
constexpr std::uint64_t kNotWorthALook = 1ull << 20;

}  // namespace

std::uint64_t usable_memory() {
    const std::uint64_t o = g_override.load();
    if (o != 0) return o;
    return std::min(mem_available(), cgroup_room());
}

bool fits_in_memory(std::uint64_t bytes) {
    if (bytes < kNotWorthALook) return true;
    const std::uint64_t room = usable_memory();
    return room > kReserve && bytes <= room - kReserve;
}

void set_usable_memory_for_tests(std::optional<std::uint64_t> bytes) { g_override.store(bytes ? *bytes : 0); }

}  // namespace varnex
