#include "files/export_accurate.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <exception>
#include <filesystem>

#include "core/accuracy.h"
#include "files/text_io.h"

namespace varnex {

namespace fs = std::filesystem;

std::string export_proposal(const std::string& system_file, bool accurate) {
    const std::string stem = fs::path(system_file).stem().string();
    return stem + (stem.empty() ? "" : "_") + (accurate ? "x_accurate.csv" : "x.csv");
}

std::string accurate_solution_text(const std::vector<double>& x, int n, bool matrix_market) {
    // CR LF ends each line, as Export writes the single-precision solution.
    std::string out;
    if (matrix_market) out = "%%MatrixMarket matrix array real general\r\n" + std::to_string(n) + " 1\r\n";
    char buf[40];
    for (int i = 1; i <= n; ++i) {
        const auto res =
            std::to_chars(buf, buf + sizeof buf, x[static_cast<std::size_t>(i)], std::chars_format::general, 17);
        out.append(buf, res.ptr);
        out += "\r\n";
    }
    return out;
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
    if (is_ordinary_file(path) && !app.box->ask_yes_no(app.st.msg.MsgReplaceFile + path)) return false;
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    const int n = static_cast<int>(ref.x.size()) - 1;
    OutputFile file(path);
    file.write(accurate_solution_text(ref.x, n, ext == ".mtx"));
    file.close();
    return true;
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

}  // namespace varnex
