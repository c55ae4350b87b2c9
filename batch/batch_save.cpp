// The batch run's Save step: the File menu's Save with the dialog answered by the command line,
// then a check of which files it put in place.
#include "batch/batch_save.h"

#include <filesystem>
#include <utility>

#include <sys/stat.h>

#include "batch/batch_seams.h"
#include "commands/save_command.h"
#include "files/text_files.h"

namespace varnex::batch {

namespace {

namespace fs = std::filesystem;

// Which file a path names now: Save puts each file in place by renaming a new one over it, so a
// path that was written names another file afterwards. {0, 0} when it names no regular file.
std::pair<dev_t, ino_t> file_identity(const std::string& path) {
    struct stat sb {};
    if (::stat(path.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) return {0, 0};
    return {sb.st_dev, sb.st_ino};
}

// The path the save dialog confirms: NAME in the application folder's data folder, or NAME itself
// when it is an absolute path.
std::string save_target(const Args& args, const std::string& app_folder, const std::string& system) {
    const std::string name = args.save_name.empty() ? fs::path(system).filename().string() : args.save_name;
    if (fs::path(name).is_absolute()) return name;
    const std::string folder = app_folder == "/" ? std::string() : app_folder;
    return folder + "/data/" + name;
}

bool declined(const PrintedBoxes& boxes, const std::string& question) {
    for (const std::string& q : boxes.declined())
        if (q == question) return true;
    return false;
}

}  // namespace

bool save_files(const Args& args, const Environment& env, App& app, CommandLineDialog& cd, PrintedBoxes& boxes,
                Report& rep) {
    const bool connected = app.st.DataMode == kModeConnected;
    const std::string target = save_target(args, app.app_folder, rep.system);
    // In connected mode Save shows no dialog and names the solution after the file last confirmed in
    // a dialog; NAME stands in for that confirmation.
    if (connected) {
        cd.FileName = target;
    } else {
        cd.save_path = target;
    }
    const std::string solution = app.app_folder + "/data/solutions/" + solution_name(target);
    const auto system_before = file_identity(target);
    const auto solution_before = file_identity(solution);
    if (env.saving) *env.saving = 1;
    const double t0 = steady_seconds();
    Save_Click(app);
    rep.save_seconds = steady_seconds() - t0;
    if (env.saving) *env.saving = 0;

    // A file counts as written when its path now names a new regular file. Save itself says why a
    // file could not be written; this names which.
    const std::string& ask = app.st.msg.MsgReplaceFile;
    const auto written = [](const std::string& path, std::pair<dev_t, ino_t> before) {
        const auto now = file_identity(path);
        return now != std::pair<dev_t, ino_t>{0, 0} && now != before;
    };
    bool ok = true;
    auto check = [&](const std::string& path, bool written) {
        if (declined(boxes, ask + path)) {
            ok = false;
        } else if (written) {
            rep.saved.push_back(path);
        } else {
            *env.err << "varnex-batch: Save could not write " << path << '\n';
            ok = false;
        }
    };
    if (!connected) check(target, written(target, system_before));
    check(solution, written(solution, solution_before));
    return ok;
}

}  // namespace varnex::batch
