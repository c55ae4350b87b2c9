#include "mainwindow/file_drop.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "mainwindow/guarded.h"
#include "mainwindow/input_gate.h"

namespace varnex {

FileDrop::FileDrop(QWidget* window, const InputGate* gate, Handler handler)
    : QObject(window), window_(window), gate_(gate), handler_(std::move(handler)) {
    setObjectName(QStringLiteral("fileDrop"));
    window->setAcceptDrops(true);
    qApp->installEventFilter(this);
}

bool FileDrop::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !window_ || widget->window() != window_) return false;
    auto* drop = static_cast<QDropEvent*>(event);  // a drag enter or move is a drop event too
    if (!drop->mimeData() || !drop->mimeData()->hasUrls()) return false;
    if (gate_ && gate_->holding()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type != QEvent::Drop) return true;
    DropDecision decision;
    const bool decided = guarded([&] {
        std::vector<std::string> paths;
        bool others = false;
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (url.isLocalFile())
                paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
            else
                others = true;
        }
        // A web address beside a file counts as one more item dropped.
        if (others && !paths.empty()) paths.emplace_back();
        decision = decide_drop(paths);
    });
    if (!decided) return true;  // no memory for the names: the drop does nothing
    guarded([&] {
        QTimer::singleShot(0, this, guard([this, decision] {
                               if (handler_ && !(gate_ && gate_->holding())) handler_(decision);
                           }));
    });
    return true;
}

}  // namespace varnex
