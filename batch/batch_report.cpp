#include "batch/batch_report.h"

#include <cmath>
#include <cstdio>

#include "batch/json_text.h"
#include "commands/accuracy_report.h"

namespace varnex::batch {

AccuracyReport add_accuracy_report(Report& report, const App& app) {
    AccuracyReport r = accuracy_report(app);
    report.accuracy = report_line(r);
    if (r.judged) report.verdict = verdict_line(r.judgement);
    const std::string fields = report_json_fields(r);
    report.accuracy_json.reserve(fields.size() + 2);
    report.accuracy_json.push_back('{');
    report.accuracy_json.append(fields);
    report.accuracy_json.push_back('}');
    return r;
}

namespace {

std::string seconds_text(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", s);
    return buf;
}

}  // namespace

void print_text(const Report& r, std::ostream& out) {
    if (!r.verdict.empty()) out << "verdict: " << r.verdict << '\n';
    out << "N: " << r.n << '\n'
        << "Er: " << r.er_text << '\n'
        << "sweeps: " << r.sweeps << '\n'
        << "IterCount: " << r.iter_count << '\n'
        << "ended: " << r.ended << '\n'
        << "duration: " << seconds_text(r.solve_seconds) << " s\n"
        << r.command << ": " << seconds_text(r.load_seconds) << " s\n";
    if (r.save_seconds > 0.0) out << "save: " << seconds_text(r.save_seconds) << " s\n";
    for (const std::string& path : r.saved) out << "saved: " << path << '\n';
    if (!r.accurate.empty()) out << "accurate: " << r.accurate << '\n';
    for (const std::string& note : r.notes) out << "note: " << note << '\n';
    if (!r.accuracy.empty()) out << "accuracy: " << r.accuracy << '\n';
    out << std::flush;
}

void print_json(const Report& r, std::ostream& out) {
    char er[32] = "null";
    if (std::isfinite(r.er)) std::snprintf(er, sizeof er, "%.9g", static_cast<double>(r.er));
    out << "{\"command\":" << json_string(r.command) << ",\"system\":" << json_string(r.system)
        << json_raw_field("system", r.system) << ",\"N\":" << r.n << ",\"Er\":" << er
        << ",\"Er_text\":" << json_string(r.er_text) << ",\"sweeps\":" << r.sweeps << ",\"IterCount\":" << r.iter_count
        << ",\"ended\":" << json_string(r.ended) << ",\"duration\":" << seconds_text(r.solve_seconds)
        << ",\"load_seconds\":" << seconds_text(r.load_seconds) << ",\"save_seconds\":" << seconds_text(r.save_seconds)
        << ",\"saved\":[";
    for (std::size_t i = 0; i < r.saved.size(); ++i) out << (i ? "," : "") << json_string(r.saved[i]);
    out << "]" << json_raw_field("saved", r.saved) << ",\"messages\":[";
    for (std::size_t i = 0; i < r.messages.size(); ++i) out << (i ? "," : "") << json_string(r.messages[i]);
    out << "]" << json_raw_field("messages", r.messages) << ",\"notes\":[";
    for (std::size_t i = 0; i < r.notes.size(); ++i) out << (i ? "," : "") << json_string(r.notes[i]);
    out << "]" << json_raw_field("notes", r.notes)
        << ",\"accuracy\":" << (r.accuracy_json.empty() ? std::string("null") : r.accuracy_json);
    if (!r.accurate.empty())
        out << ",\"accurate\":" << json_string(r.accurate) << json_raw_field("accurate", r.accurate);
    out << ",\"exit_code\":" << r.exit_code << "}\n" << std::flush;
}

}  // namespace varnex::batch
