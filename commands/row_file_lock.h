#pragma once
// One program at a time owns the row file: an advisory lock (flock) on the file, taken by Connect
// before its first write and held while the program stays in connected mode, so that the solve
// commands read the records that this program wrote. Another window or varnex-batch run on the same
// application folder finds the lock taken and says so instead of overwriting or reading the records.
// The kernel drops the lock when its holder ends however it ends, so a lock never outlives its process.

#include <string>

#include "commands/app.h"

namespace varnex {

enum class LockResult {
    Held,     ///< this program holds the lock on the file at the path
    Busy,     ///< another program holds it
    Refused,  ///< the path names a link or something other than a regular file
    Failed,   ///< the file cannot be opened for the lock; its readers and writers report that
};

/// Takes the lock on the row file at `path` for this program, waiting for nobody; a lock held on
/// another path is let go first. Held again at once when this program holds it already.
LockResult lock_row_file(const std::string& path);
/// Lets the lock go (leaving connected mode); nothing when none is held.
void unlock_row_file();

/// The message for a lock that another program holds (Busy).
std::string row_file_busy(const std::string& path);
/// Reports a lock that is not Held: Busy as its own message; Refused as the reason on the status line
/// and MsgBadFile, as for any row file that cannot be opened. True when it reported something.
bool report_lock(LockResult result, const std::string& path, App& app);

}  // namespace varnex
