#pragma once
// The seams of core/ui.h for a program without a window: message boxes become lines on stderr, the
// file dialog is answered by the command line, the controls are plain texts, and the clock is the
// system's. The progress line on stderr follows the sweeps.

#include <csignal>
#include <functional>
#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "core/grid_model.h"
#include "core/ui.h"

namespace varnex::batch {

/// Every message as its exact text on one line of `err` (leading blanks kept). The replace question
/// is printed too and answered Yes only when `replace` is set.
class PrintedBoxes : public MessageBoxes {
  public:
    PrintedBoxes(std::ostream& err, bool replace) : err_(err), replace_(replace) {}
    void message(std::string_view text) override;
    bool ask_yes_no(std::string_view text) override { return ask_yes_no_noted(text, {}); }
    bool ask_yes_no_noted(std::string_view text, std::string_view note) override;

    /// Every message shown, in order (questions not included).
    const std::vector<std::string>& messages() const { return messages_; }
    /// The questions answered No.
    const std::vector<std::string>& declined() const { return declined_; }

  private:
    std::ostream& err_;
    bool replace_;
    std::vector<std::string> messages_;
    std::vector<std::string> declined_;
};

/// The dialog CD answered by the paths of the command line: the open dialog confirms `open_path`,
/// the save dialog `save_path`. The current file name persists as in the window.
class CommandLineDialog : public FileDialog {
  public:
    std::string open_path;
    std::string save_path;
    bool ShowOpen() override;
    bool ShowSave() override;
};

/// Local time of day in seconds, to the microsecond.
class RealClock : public Clock {
  public:
    float seconds_since_midnight() override;
};

/// Seconds on a steady clock, for durations that must not jump at midnight.
double steady_seconds();

/// The progress line of a run (sweep, Er, elapsed) on stderr, once the run is longer than a second:
/// rewritten in place at most four times a second on a terminal, otherwise one line every ten seconds.
class Progress {
  public:
    using Now = std::function<double()>;
    static constexpr double kQuiet = 1.0;          ///< seconds before the first line on a terminal
    static constexpr double kTerminalStep = 0.25;  ///< at most four rewrites a second
    static constexpr double kLogStep = 10.0;       ///< one line every ten seconds otherwise

    Progress(std::ostream& err, bool terminal, Now now = steady_seconds)
        : err_(err), terminal_(terminal), now_(std::move(now)) {}

    /// The run begins: elapsed time counts from here.
    void start();
    /// A sweep completed; `completed` sweeps so far, the last one left `er`.
    void sweep(int completed, float er);
    /// Called often while the run holds the program; prints when a line is due.
    void tick();
    /// The run ended: a line rewritten in place is ended with a line break.
    void finish();

  private:
    void print_line();

    std::ostream& err_;
    bool terminal_;
    Now now_;
    bool running_ = false;
    bool line_open_ = false;  ///< a terminal line waits for its line break
    double start_ = 0.0;
    double next_ = 0.0;  ///< elapsed seconds at which the next line is due
    int sweeps_ = 0;
    float er_ = 0.0f;
};

/// The main window's controls as plain texts and flags, starting as the window is designed. Sweeps
/// and repaints drive the progress line; SIGINT reaches the run through `stop`.
class BatchControls : public Controls {
  public:
    BatchControls(Progress& progress, const volatile std::sig_atomic_t* stop,
                  std::function<void(std::string_view)> on_status);

    std::string text(Ctl c) const override;
    void set_text(Ctl c, std::string_view text) override { texts_[c] = std::string(text); }
    bool enabled(Ctl c) const override;
    void set_enabled(Ctl c, bool on) override { enabled_[c] = on; }
    void refresh() override { progress_.tick(); }
    void sweep_done(float er) override {
        last_er_ = er;
        progress_.sweep(++sweeps_, er);
    }
    bool stop_requested() override { return stop_ && *stop_ != 0; }
    void status(std::string_view text) override {
        if (on_status_) on_status_(text);
    }

    /// Sweeps completed under these controls, by any command.
    int sweeps() const { return sweeps_; }
    /// The Er of the last completed sweep, which the accuracy box shows (NaN before any).
    float last_er() const { return last_er_; }

  private:
    Progress& progress_;
    const volatile std::sig_atomic_t* stop_;
    std::function<void(std::string_view)> on_status_;
    std::map<Ctl, std::string> texts_;
    std::map<Ctl, bool> enabled_;
    int sweeps_ = 0;
    float last_er_ = std::numeric_limits<float>::quiet_NaN();
};

/// Lets the controls refresh every few grid writes, so that the progress line's elapsed time keeps
/// moving through a long sweep (each sweep writes every x(i) into the grid as it goes).
class TickingObserver : public GridObserver {
  public:
    static constexpr int kWritesPerTick = 64;
    explicit TickingObserver(Controls& ui) : ui_(ui) {}
    void grid_reset() override {}
    void cell_written(int, int) override {
        if (++writes_ >= kWritesPerTick) {
            writes_ = 0;
            ui_.refresh();
        }
    }

  private:
    Controls& ui_;
    int writes_ = 0;
};

}  // namespace varnex::batch
