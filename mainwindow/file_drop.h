#pragma once
// Files dropped on the main window. The drop is taken anywhere in the window, its text boxes too
// (which would otherwise paste the file's path), and handed on once the drag has ended, so that the
// command it starts (Open, Import, or a message) does not keep the dragging program waiting.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "files/dropped_file.h"

namespace varnex {

class InputGate;

class FileDrop : public QObject {
    Q_OBJECT

  public:
    using Handler = std::function<void(const DropDecision&)>;
    /// Watches the application's events for drags over `window`; while `gate` holds the window for
    /// a command, a drag is refused and a drop does nothing.
    FileDrop(QWidget* window, const InputGate* gate, Handler handler);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> window_;
    const InputGate* gate_;
    Handler handler_;
};

}  // namespace varnex
