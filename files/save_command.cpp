#include "files/save_command.h"

#include <exception>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "core/errors.h"
#include "core/exact.h"
#include "files/text_files.h"
#include "files/text_io.h"

namespace varnex {

namespace {

// The replace question for an existing file; true when the writer may go on.
bool may_write(App& app, const std::string& name) {
    if (!is_ordinary_file(name)) return true;
    return app.box->ask_yes_no(app.st.msg.MsgReplaceFile + name);
}

// Creates the folder when no entry of that name exists (a file of that name is left alone, and the
// following change of directory fails on it).
void ensure_folder(const std::string& folder) {
    std::error_code ec;
    if (std::filesystem::exists(folder, ec)) return;
    if (ec || !std::filesystem::create_directory(folder, ec) || ec) raise(ErrorKind::FileError);
}

}  // namespace

void save_file(App& app, const std::string& name) {
    if (!may_write(app, name)) return;
    OutputFile out(name);
    const int n = app.st.N;
    const int last = i16(n + 1);
    std::string line;
    std::string scratch;
    // Row i of the system layout: a(i,1) .. a(i,N) in columns 1, 3, .., 2N - 1 and b(i) in 2N + 1,
    // each text followed by one blank, the line by CR LF.
    for (int i = 1; i <= n; ++i) {
        line.clear();
        for (int j = 1; j <= last; ++j) {
            line += app.grid.text(i, i16(2 * j - 1), scratch);
            line += ' ';
        }
        line += "\r\n";
        out.write(line);
    }
    out.close();
}

void save_solution(App& app, const std::string& name) {
    if (!may_write(app, name)) return;
    OutputFile out(name);
    const int n = app.st.N;
    std::string line;
    std::string scratch;
    // x(i) from column 1 of the solution layout in connected mode, from column 2N + 3 of the system
    // layout otherwise; the mode is looked at for every i.
    for (int i = 1; i <= n; ++i) {
        const int col = app.st.DataMode == kModeConnected ? 1 : i16(2 * n + 3);
        line += app.grid.text(i, col, scratch);
        line += ' ';
    }
    line += "\r\n";
    out.write(line);
    out.close();
}

void Save_Click(App& app) {
    // The command's one trap ends it silently: whatever was written before a failure stays.
    try {
        if (app.st.DataMode != kModeConnected) {
            app.cd->InitDir = app.app_folder + "/data/";
            change_directory(app.cd->InitDir);
            if (!app.cd->ShowSave()) return;
            save_file(app, app.cd->FileName);
        }
        // In connected mode no dialog is shown: the name is the file last confirmed in any dialog,
        // as a rule the system file that Connect converted.
        const std::string name = solution_name(app.cd->FileName);
        app.cd->InitDir = app.app_folder + "/data/solutions/";
        const std::string folder = app.cd->InitDir;
        ensure_folder(folder);
        change_directory(folder);
        save_solution(app, app.cd->InitDir + name);
    } catch (const std::exception&) {
    }
}

}  // namespace varnex
