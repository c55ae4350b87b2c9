#include "batch/batch_seams.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "core/convert.h"

namespace varnex::batch {

void PrintedBoxes::message(std::string_view text) {
    err_ << text << '\n' << std::flush;
    messages_.emplace_back(text);
}

bool PrintedBoxes::ask_yes_no_noted(std::string_view text, std::string_view note) {
    err_ << text << '\n';
    if (!note.empty()) err_ << "varnex-batch: " << note << '\n';
    if (replace_) {
        err_ << "varnex-batch: answered Yes (--replace)\n" << std::flush;
        return true;
    }
    err_ << "varnex-batch: answered No: the file is kept (--replace replaces it)\n" << std::flush;
    declined_.emplace_back(text);
    return false;
}

bool CommandLineDialog::ShowOpen() {
    FileName = open_path;
    return true;
}

bool CommandLineDialog::ShowSave() {
    FileName = save_path;
    return true;
}

float RealClock::seconds_since_midnight() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    const time_t whole = ts.tv_sec;
    localtime_r(&whole, &local);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ts.tv_nsec * 1e-9;
    return static_cast<float>(seconds);
}

double steady_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Progress::start() {
    running_ = true;
    start_ = now_();
    next_ = terminal_ ? kQuiet : kLogStep;
    sweeps_ = 0;
}

void Progress::sweep(int completed, float er) {
    sweeps_ = completed;
    er_ = er;
    tick();
}

void Progress::tick() {
    if (!running_) return;
    const double elapsed = now_() - start_;
    if (elapsed < next_) return;
    // The next line is due a whole step after this one, however late this one came.
    next_ = elapsed + (terminal_ ? kTerminalStep : kLogStep);
    print_line();
}

void Progress::print_line() {
    const double elapsed = now_() - start_;
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.1f", elapsed);
    const std::string er = sweeps_ > 0 ? single_to_text(er_) : std::string("-");
    if (terminal_) {
        // Back to the line's start, the new text, then the rest of the old line cleared.
        err_ << "\rsweep " << sweeps_ << "  Er " << er << "  elapsed " << secs << " s\x1b[K" << std::flush;
        line_open_ = true;
    } else {
        err_ << "sweep " << sweeps_ << "  Er " << er << "  elapsed " << secs << " s\n" << std::flush;
    }
}

void Progress::finish() {
    running_ = false;
    if (line_open_) err_ << '\n' << std::flush;
    line_open_ = false;
}

BatchControls::BatchControls(Progress& progress, const volatile std::sig_atomic_t* stop,
                             std::function<void(std::string_view)> on_status)
    : progress_(progress), stop_(stop), on_status_(std::move(on_status)) {
    // "Next Iteration" is designed disabled; "Accept N", Open and Connect enable it.
    enabled_[Ctl::cmdIter] = false;
}

std::string BatchControls::text(Ctl c) const {
    auto it = texts_.find(c);
    return it == texts_.end() ? std::string() : it->second;
}

bool BatchControls::enabled(Ctl c) const {
    auto it = enabled_.find(c);
    return it == enabled_.end() || it->second;
}

}  // namespace varnex::batch
