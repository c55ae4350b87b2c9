#pragma once
// While a command holds the window, the repaints it asks for also deliver the user's input: this
// filter drops that input instead of letting it act (or queueing it for after the command), so a
// second click on "Find  solution" during a run starts nothing. Esc is the one key that counts: it
// asks a stoppable run to end after the sweep in progress. A close of the main window stops the run
// the same way and closes the window once the command has ended. Dialogs that the command itself
// opens (a message box, the file dialog) keep their input, and other windows may still close.

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace varnex {

class InputGate : public QObject {
    Q_OBJECT

  public:
    /// `window` is the main window whose close is deferred rather than dropped.
    explicit InputGate(QWidget* window, QObject* parent = nullptr);

    /// Starts dropping input, application-wide; `stoppable` lets Esc and close request a stop.
    void hold(bool stoppable);
    /// Stops dropping input.
    void release();
    bool holding() const { return holding_; }
    bool stoppable() const { return stoppable_; }

    /// Esc (or a close) came during the current hold of a stoppable command.
    bool stop_requested() const { return stop_; }
    /// A close of the main window was held back during the command; clears the request.
    bool take_close_request();

    /// True for the kinds of event a person causes: mouse, keys, shortcuts, wheel, touch, drops.
    static bool is_user_input(QEvent::Type type);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // A modal dialog or popup opened during the command, and `watched` is part of it.
    static bool belongs_to_open_dialog(QObject* watched);

    QPointer<QWidget> window_;
    bool holding_ = false;
    bool stoppable_ = false;
    bool stop_ = false;
    bool close_ = false;
};

}  // namespace varnex
