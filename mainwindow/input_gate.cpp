#include "mainwindow/input_gate.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QShortcutEvent>
#include <QWindow>

namespace varnex {

InputGate::InputGate(QWidget* window, QObject* parent) : QObject(parent), window_(window) {
    // Installed once for good: outside a hold the filter only reads one flag.
    qApp->installEventFilter(this);
}

void InputGate::hold(bool stoppable) {
    holding_ = true;
    stoppable_ = stoppable;
    stop_ = false;
}

void InputGate::release() {
    holding_ = false;
    stoppable_ = false;
}

bool InputGate::take_close_request() {
    const bool close = close_;
    close_ = false;
    return close;
}

bool InputGate::is_user_input(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::NonClientAreaMouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

bool InputGate::belongs_to_open_dialog(QObject* watched) {
    for (QWidget* dialog : {QApplication::activePopupWidget(), QApplication::activeModalWidget()}) {
        if (!dialog) continue;
        if (auto* w = qobject_cast<QWidget*>(watched); w && w->window() == dialog) return true;
        if (auto* win = qobject_cast<QWindow*>(watched); win && win == dialog->windowHandle()) return true;
        // The shortcut map fires only the shortcuts of the active window, which is now the dialog.
        if (qobject_cast<QAction*>(watched)) return true;
    }
    return false;
}

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
    if (!holding_) return false;
    const QEvent::Type type = event->type();
    const bool main_window = window_ && (watched == window_.data() || watched == window_->windowHandle());
    if (type == QEvent::Close) {
        // Other windows close as usual (a dialog the command opened closes through this too).
        // Closing the main window ends a run as Esc does; the window closes when the command is over.
        if (!main_window) return false;
        close_ = true;
        if (stoppable_) stop_ = true;
        event->ignore();
        return true;
    }
    if (!is_user_input(type)) return false;
    if (belongs_to_open_dialog(watched)) return false;
    if (stoppable_) {
        int key = 0;
        if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride)
            key = static_cast<QKeyEvent*>(event)->key();
        else if (type == QEvent::Shortcut)
            key = static_cast<QShortcutEvent*>(event)->key()[0].key();
        if (key == Qt::Key_Escape) stop_ = true;
    }
    // Handled here, so nothing passes it on to a parent; an accepted shortcut override keeps the
    // menu's shortcuts from firing.
    event->accept();
    return true;
}

}  // namespace varnex
