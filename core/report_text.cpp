// The accuracy report as text: the status bar's line, the whole report item by item, and the batch
// program's JSON members.

#include <charconv>
#include <cmath>

#include "core/accuracy.h"

namespace varnex {

std::string g3(double v) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 3);
    return std::string(buf, res.ptr);
}

namespace {

// A JSON number in the shortest form that reads back to the same double, or null for inf and NaN.
std::string json_number(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

// A float in the shortest form that reads back to the same float.
std::string json_number(float v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

namespace {

std::string wall_time(const AccuracyReport& r) { return std::to_string(std::llround(r.wall_ms)) + " ms"; }

// The report line, with the command's wall time after its ending or not at all.
std::string run_and_figures(const AccuracyReport& r, bool with_time) {
    std::string line = std::to_string(r.sweeps) + (r.sweeps == 1 ? " sweep, " : " sweeps, ") + r.ending;
    if (with_time && r.wall_ms >= 0.0) line += " \u00b7 " + wall_time(r);
    if (r.pending) return line + " \u00b7 computing accuracy\u2026";
    if (!r.measured) return r.note.empty() ? line : line + " \u00b7 " + r.note;
    line += " \u00b7 \u2016A\u00b7x \u2212 b\u2016\u221e = " + g3(r.norms.residual);
    line += " \u00b7 backward error " + g3(r.backward_error);
    if (r.conditioned) {
        line += " \u00b7 \u03ba\u2081 \u2248 " + g3(r.kappa1);
        if (r.beyond_single) line += ": single precision cannot resolve this system.";
    } else if (!r.note.empty()) {
        line += " \u00b7 " + r.note;
    }
    return line;
}

}  // namespace

std::string report_line(const AccuracyReport& r) { return run_and_figures(r, true); }

std::string status_line(const AccuracyReport& r) {
    if (!r.judged) return report_line(r);
    // The wall time right after the verdict, where a narrow window still shows it.
    const std::string time = r.wall_ms >= 0.0 ? " \u00b7 " + wall_time(r) : std::string();
    return verdict_line(r.judgement) + time + " \u00b7 " + run_and_figures(r, false);
}

std::string report_json_fields(const AccuracyReport& r) {
    std::string s = "\"sweeps\": " + std::to_string(r.sweeps) + ", \"ending\": " + json_string(r.ending);
    if (r.measured) {
        s += ", \"residual\": " + json_number(r.norms.residual);
        s += ", \"norm_a\": " + json_number(r.norms.norm_a);
        s += ", \"norm_x\": " + json_number(r.norms.norm_x);
        s += ", \"norm_b\": " + json_number(r.norms.norm_b);
        s += ", \"backward_error\": " + json_number(r.backward_error);
    }
    if (r.conditioned) {
        s += ", \"kappa1\": " + json_number(r.kappa1);
        s += std::string(", \"single_precision_unresolvable\": ") + (r.beyond_single ? "true" : "false");
    }
    if (!r.note.empty()) s += ", \"note\": " + json_string(r.note);
    if (r.wall_ms >= 0.0) s += ", \"wall_ms\": " + json_number(std::round(r.wall_ms * 1000.0) / 1000.0);
    if (r.judged) s += verdict_json_fields(r);
    return s;
}

namespace {

std::string reference_value(const AccuracyReport& r) {
    const ReferenceSolution& ref = r.reference;
    if (ref.claimed)
        return "error bound " + g3(ref.normwise) + " normwise, " + g3(ref.componentwise) + " componentwise, after " +
               std::to_string(ref.steps) + (ref.steps == 1 ? " refinement step" : " refinement steps");
    if (r.reference_tried) return "none: " + ref.why_not;
    return r.note.empty() ? std::string("none") : "none: " + r.note;
}

std::string digits_value(const Judgement& j) {
    if (j.digits < 0) return "not known (no reference and no condition estimate)";
    std::string s = std::to_string(j.digits);
    if (j.from_reference)
        return s + " (\u2016x \u2212 reference\u2016\u221e / \u2016reference\u2016\u221e = " + g3(j.error) + ")";
    return s + " (estimated: \u03ba\u2081 \u00d7 backward error = " + g3(j.error) + "; no reference)";
}

}  // namespace

std::vector<ReportItem> report_items(const AccuracyReport& r) {
    std::vector<ReportItem> items;
    if (r.judged) {
        items.push_back({"Verdict", verdict_words(r.judgement) + " (" + verdict_key(r.judgement.verdict) + ")"});
        items.push_back({"Correct digits", digits_value(r.judgement)});
    }
    items.push_back({"Sweeps", std::to_string(r.sweeps)});
    items.push_back({"How the run ended", r.ending});
    if (r.wall_ms >= 0.0) items.push_back({"Wall time", wall_time(r)});
    if (r.measured) {
        items.push_back({"Accuracy box (largest positive residual component)", g3(r.er)});
        items.push_back({"Residual's largest magnitude \u2016A\u00b7x \u2212 b\u2016\u221e", g3(r.norms.residual)});
        items.push_back({"Backward error", g3(r.backward_error) + " (single precision reaches about " +
                                               g3(reachable_backward_error(r.n)) + ")"});
    }
    if (r.conditioned) items.push_back({"\u03ba\u2081 (condition estimate)", g3(r.kappa1)});
    if (r.measured) items.push_back({"Reference solution", reference_value(r)});
    if (r.judged) {
        for (const VerdictReason& why : r.judgement.reasons) {
            items.push_back({"Reason: " + why.key, why.text});
            items.push_back({"What to do", why.hint});
        }
        if (!r.judgement.box_note.empty()) items.push_back({"Accuracy box", r.judgement.box_note});
    }
    if (!r.note.empty() && !(r.measured && !r.reference_tried)) items.push_back({"Note", r.note});
    return items;
}

std::string report_text(const AccuracyReport& r) {
    std::string text;
    for (const ReportItem& item : report_items(r)) {
        if (!text.empty()) text += '\n';
        text += item.label + ": " + item.value;
    }
    return text;
}

std::string verdict_json_fields(const AccuracyReport& r) {
    const Judgement& j = r.judgement;
    std::string s = ", \"verdict\": \"" + std::string(verdict_key(j.verdict)) + "\"";
    s += ", \"digits\": " + (j.digits < 0 ? std::string("null") : std::to_string(j.digits));
    s += ", \"reasons\": [";
    for (std::size_t k = 0; k < j.reasons.size(); ++k) s += (k ? ", " : "") + json_string(j.reasons[k].key);
    s += "]";
    if (j.suggests_eps) s += ", \"suggested_eps\": " + json_number(j.suggested_eps);
    const ReferenceSolution& ref = r.reference;
    if (ref.claimed) {
        s += ", \"reference\": {\"normwise_bound\": " + json_number(ref.normwise) +
             ", \"componentwise_bound\": " + json_number(ref.componentwise) +
             ", \"steps\": " + std::to_string(ref.steps) + "}";
    } else {
        s += ", \"reference\": {\"none\": " + json_string(reference_value(r).substr(6)) + "}";
    }
    if (!j.box_note.empty()) s += ", \"box_note\": " + json_string(j.box_note);
    return s;
}

}  // namespace varnex
