#include "commands/save_command.h"

#include <cerrno>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>

#include "core/errors.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "files/replace_file.h"
#include "files/text_files.h"
#include "files/text_io.h"

namespace varnex {

namespace {

// The replace question for an existing file; true when the writer may go on. When the path is a link,
// the file replaced is the one it points to (the link stays), and a note beside the question says so.
bool may_write(App& app, const std::string& name) {
    if (!is_ordinary_file(name)) return true;
    const std::string question = app.st.msg.MsgReplaceFile + name;
    std::error_code ec;
    if (!std::filesystem::is_symlink(name, ec)) return app.box->ask_yes_no(question);
    const std::string target = std::filesystem::weakly_canonical(name, ec).string();
    const std::string note = name + " is a link to " + (ec ? std::string("another file") : target) +
                             ", the file that will be replaced.";
    app.ui->status(note);
    return app.box->ask_yes_no_noted(question, note);
}

// Creates the folder when no entry of that name exists (a file of that name is left alone, and the
// following change of directory fails on it).
void ensure_folder(const std::string& folder) {
    std::error_code ec;
    if (std::filesystem::exists(folder, ec)) return;
    if (!ec) std::filesystem::create_directory(folder, ec);
    if (ec) throw SystemFileError(ec.value());
}

// Makes the folder current, keeping the system's reason when it cannot.
void enter_folder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::current_path(folder, ec);
    if (ec) throw SystemFileError(ec.value());
}

}  // namespace

std::optional<ReplacingFile> save_file(App& app, const std::string& name) {
    if (!may_write(app, name)) return std::nullopt;
    ReplacingFile out(name);
    const int n = app.st.N;
    const int last = int16_or_overflow(n + 1);
    std::string line;
    std::string scratch;
    // Row i of the system layout: its values a(i,1) .. a(i,N), b(i), each text followed by one blank,
    // the line by CR LF.
    for (int i = 1; i <= n; ++i) {
        line.clear();
        for (int j = 1; j <= last; ++j) {
            line += app.grid.text(i, int16_or_overflow(value_column(j)), scratch);
            line += ' ';
        }
        line += "\r\n";
        out.write(line);
    }
    out.finish();
    return out;
}

std::optional<ReplacingFile> save_solution(App& app, const std::string& name) {
    if (!may_write(app, name)) return std::nullopt;
    ReplacingFile out(name);
    const int n = app.st.N;
    std::string line;
    std::string scratch;
    // x(i) from the solution layout in connected mode, from the system layout otherwise; the mode is
    // looked at for every i.
    for (int i = 1; i <= n; ++i) {
        const int col = approximation_column(app.st.DataMode, n);
        line += app.grid.text(i, col, scratch);
        line += ' ';
    }
    line += "\r\n";
    out.write(line);
    out.finish();
    return out;
}

void Save_Click(App& app) {
    // The command's one trap. Both files are first written whole beside their targets; only then do
    // they replace the old ones, so any failure before that leaves both old files as they were.
    std::optional<ReplacingFile> system;
    std::optional<ReplacingFile> solution;
    int code = 0;
    try {
        if (app.st.DataMode != kModeConnected) {
            app.cd->InitDir = app.app_folder + "/data/";
            enter_folder(app.cd->InitDir);
            if (!app.cd->ShowSave()) return;
            system = save_file(app, app.cd->FileName);
        }
        // In connected mode no dialog is shown: the name is the file last confirmed in any dialog,
        // as a rule the system file that Connect converted.
        const std::string name = solution_name(app.cd->FileName);
        app.cd->InitDir = app.app_folder + "/data/solutions/";
        const std::string folder = app.cd->InitDir;
        ensure_folder(folder);
        enter_folder(folder);
        solution = save_solution(app, app.cd->InitDir + name);
        // The solution goes in place first. Should the system file's rename then fail, the old system
        // file is left with the new approximation, which only starts the next run elsewhere; the
        // other order could leave the new system with the approximation of an older one.
        if (solution) solution->commit();
        if (system) system->commit();
        return;
    } catch (const SystemFileError& e) {
        code = e.code();
    } catch (const std::bad_alloc&) {
        code = ENOMEM;
    } catch (const std::exception&) {
    }
    // The temporary files go before the message is shown. A failure that names no reason (a grid
    // cell that does not exist) is still reported.
    system.reset();
    solution.reset();
    try {
        std::string text = " Sorry, the file could not be saved";
        if (code != 0) text += ": " + failure_reason(code);
        text += ".";
        app.box->message(text);
    } catch (const std::exception&) {
    }
}

}  // namespace varnex
