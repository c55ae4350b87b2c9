#pragma once
// Temporary files that a Save left behind when its process was killed before it could remove them.

#include <string>

namespace varnex {

/// Removes the hidden temporary files of Save (".NAME.~PID-K") in the data folder and in
/// data/solutions whose process PID no longer runs; those of running processes (another window, a
/// batch run saving now) stay. Returns how many it removed. Never fails: what cannot be read or
/// removed is left.
int remove_stale_temporaries(const std::string& app_folder);

}  // namespace varnex
