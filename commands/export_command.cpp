#include "commands/export_command.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>

#include "core/accuracy.h"
#include "core/ascii.h"
#include "core/convert.h"
#include "core/exact.h"
#include "core/grid_layout.h"
#include "files/text_io.h"

namespace varnex {

namespace fs = std::filesystem;

std::string export_proposal(const std::string& system_file, bool accurate) {
    const std::string stem = fs::path(system_file).stem().string();
    return stem + (stem.empty() ? "" : "_") + (accurate ? "x_accurate.csv" : "x.csv");
}

bool write_solution_column(App& app, const std::string& path, int n,
                           const std::function<void(int, bool, std::string&)>& append_value) {
    if (is_ordinary_file(path) && !app.box->ask_yes_no(app.st.msg.MsgReplaceFile + path)) return false;
    const bool mtx = ascii_lower(fs::path(path).extension().string()) == ".mtx";
    std::string out;
    if (mtx) out = "%%MatrixMarket matrix array real general\r\n" + std::to_string(n) + " 1\r\n";
    for (int i = 1; i <= n; ++i) {
        append_value(i, mtx, out);
        out += "\r\n";
    }
    OutputFile file(path);
    file.write(out);
    file.close();
    return true;
}

std::string ask_export_path(App& app, bool accurate) {
    const std::string previous_dir = app.cd->InitDir, previous_name = app.cd->FileName;
    std::string path;
    try {
        app.cd->InitDir = app.app_folder + "/data/";
        change_directory(app.cd->InitDir);
        // Never the system file's own name: Return would write the solution over the system.
        app.cd->FileName = export_proposal(previous_name, accurate);
        if (app.cd->ShowSave()) path = app.cd->FileName;
    } catch (const std::exception&) {
    }
    app.cd->InitDir = previous_dir;
    app.cd->FileName = previous_name;
    return path;
}

bool write_accurate_solution(App& app, const ReferenceSolution& ref, const std::string& path) {
    const int n = static_cast<int>(ref.x.size()) - 1;
    return write_solution_column(app, path, n, [&](int i, bool, std::string& out) {
        char buf[40];
        const auto res =
            std::to_chars(buf, buf + sizeof buf, ref.x[static_cast<std::size_t>(i)], std::chars_format::general, 17);
        out.append(buf, res.ptr);
    });
}

void ExportAccurate_Click(App& app, const AccuracyReport* report) {
    if (!report || report->pending) {
        app.box->message("There is no accurate solution to export: run Find  solution or Next Iteration first.");
        return;
    }
    if (!report->reference.claimed) {
        const std::string why = report->reference_tried ? report->reference.why_not : report->note;
        app.box->message("There is no accurate solution to export" + (why.empty() ? "." : ": " + why + "."));
        return;
    }
    const std::string path = ask_export_path(app, true);
    if (path.empty()) return;
    try {
        if (write_accurate_solution(app, report->reference, path))
            app.ui->status("accurate solution exported to " + fs::path(path).filename().string());
    } catch (const std::exception&) {
        app.box->message("Sorry, the accurate solution could not be written to " + path);
    }
}

void export_solution(App& app, const std::string& path) {
    const int n = app.st.N;
    std::string scratch;
    const int col = approximation_column(app.st.DataMode, n);
    const bool written = write_solution_column(app, path, n, [&](int i, bool mtx, std::string& out) {
        const std::size_t at = out.size();
        out += app.grid.text(i, col, scratch);
        // Matrix Market numbers always have a decimal point, whatever the user's separator.
        if (mtx && decimal_separator() != '.')
            for (std::size_t k = at; k < out.size(); ++k)
                if (out[k] == decimal_separator()) out[k] = '.';
    });
    if (written) app.ui->status("solution exported to " + fs::path(path).filename().string());
}

void ExportSolution_Click(App& app) {
    const int16_t mode = app.st.DataMode;
    if ((mode != kModeMemory && mode != kModeConnected) || app.st.N < 1) {
        app.box->message("There is no solution to export: open, import or connect a system first.");
        return;
    }
    const std::string path = ask_export_path(app, false);
    if (path.empty()) return;
    try {
        export_solution(app, path);
    } catch (const std::exception&) {
        app.box->message("Sorry, the solution could not be written to " + path);
    }
}

}  // namespace varnex
