#pragma once
// The seams through which the command logic reaches the windows, message boxes, the file dialog and
// the clock. The Qt windows implement them; tests answer them with fakes.

#include <string>
#include <string_view>

namespace varnex {

/// The main window's controls that the commands read, write, enable and disable.
enum class Ctl {
    txtN,
    txtA,
    txtB,
    txtEps,
    txtEr,
    txtTime,
    txtIndex0,
    txtIndex1,
    txtIndex2,
    cmdN,
    cmdA,
    cmdB,
    cmdSolution,
    cmdIter,
};

/// txtIndex(k) for k = 0, 1, 2.
inline Ctl txt_index(int k) { return static_cast<Ctl>(static_cast<int>(Ctl::txtIndex0) + k); }

class Controls {
public:
    virtual ~Controls() = default;
    virtual std::string text(Ctl c) const = 0;
    virtual void set_text(Ctl c, std::string_view text) = 0;
    virtual bool enabled(Ctl c) const = 0;
    virtual void set_enabled(Ctl c, bool on) = 0;
    /// Called often while a command holds the window (after each sweep, and from grid writes): lets the
    /// window repaint what changed, throttled to a few times a second. The window drops the user's
    /// input meanwhile and notes only Esc, for stop_requested().
    virtual void refresh() {}
    /// Called after every completed sweep of a solve command, with the accuracy Er it reached: the
    /// window grows its convergence curve, the batch program its progress line.
    virtual void sweep_done(float er) { (void)er; }
    /// Asked after every completed sweep of "Find  solution": true ends the run there, as if its
    /// stop rule had held (Esc in the window, SIGINT in the batch program).
    virtual bool stop_requested() { return false; }
    /// A one-line note about the last command: the window's status bar, the batch program's output.
    virtual void status(std::string_view text) { (void)text; }
};

/// Modal message boxes with the application title "VARNEX_SOLVER".
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    /// A box with the text and an OK button only.
    virtual void message(std::string_view text) = 0;
    /// A box with Yes and No; true for Yes.
    virtual bool ask_yes_no(std::string_view text) = 0;
    /// The same question with a note that belongs to it (the window shows the note on its status bar
    /// beforehand, varnex-batch prints it on the line after the question). By default the question.
    virtual bool ask_yes_no_noted(std::string_view text, std::string_view note) {
        (void)note;
        return ask_yes_no(text);
    }
};

/// The file dialog CD shared by Open, Save and Connect: a settable initial folder and a current file
/// name (full path of the file last confirmed in any of the dialogs) that persists between commands.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    std::string InitDir;
    std::string FileName;
    /// Shows the open or save dialog starting in InitDir. On confirmation FileName becomes the chosen
    /// path and the result is true; a cancelled dialog returns false and leaves FileName as it was.
    virtual bool ShowOpen() = 0;
    virtual bool ShowSave() = 0;
};

/// Seconds since midnight with a fractional part.
class Clock {
public:
    virtual ~Clock() = default;
    virtual float seconds_since_midnight() = 0;
};

}  // namespace varnex
