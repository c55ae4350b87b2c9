#include "mainwindow/cell_editing.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <exception>

#include "core/convert.h"

namespace varnex {

CellEditDelegate::CellEditDelegate(QTableView* view, QObject* key_filter)
    : CutTextDelegate(view), view_(view), key_filter_(key_filter) {}

QWidget* CellEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    QWidget* editor = CutTextDelegate::createEditor(parent, option, index);
    editor->setObjectName(QStringLiteral("cellEditor"));
    if (key_filter_) editor->installEventFilter(key_filter_);
    return editor;
}

void CellEditDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* edit = qobject_cast<QLineEdit*>(editor);
    if (!edit) return CutTextDelegate::setEditorData(editor, index);
    QString text = index.data(Qt::EditRole).toString();
    try {
        text_to_single(text.toStdString());
    } catch (const std::exception&) {
        text.clear();  // a placeholder, not a value to change
    }
    edit->setText(text);
    edit->selectAll();
}

void CellEditDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    auto* edit = qobject_cast<QLineEdit*>(editor);
    // An editor opened and left without typing enters nothing: an empty text would be a bad number.
    if (!edit || !edit->isModified()) return;
    const QString text = edit->text();
    const QPersistentModelIndex at(index);
    const QPointer<QAbstractItemModel> target(model);
    QTimer::singleShot(0, model, [target, at, text] {
        if (target && at.isValid()) target->setData(at, text, Qt::EditRole);
    });
}

bool CellEditDelegate::eventFilter(QObject* watched, QEvent* event) {
    auto* editor = qobject_cast<QWidget*>(watched);
    if (editor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
        Move move;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier)
            move = Move::Down;
        else if (key->key() == Qt::Key_Tab && mods == Qt::NoModifier)
            move = Move::Next;
        else if (key->key() == Qt::Key_Backtab && mods == Qt::NoModifier)
            move = Move::Previous;
        else
            return CutTextDelegate::eventFilter(watched, event);
        emit commitData(editor);
        emit closeEditor(editor, QAbstractItemDelegate::NoHint);
        move_current(move);
        return true;
    }
    return CutTextDelegate::eventFilter(watched, event);
}

void CellEditDelegate::move_current(Move move) {
    const QAbstractItemModel* model = view_->model();
    const QModelIndex from = view_->currentIndex();
    if (!model || !from.isValid()) return;
    QModelIndex to;
    if (move == Move::Down) {
        to = from.sibling(from.row() + 1, from.column());
    } else {
        // The next cell that takes a value, along the row and on into the next one (or back): the
        // operator texts between the coefficients are stepped over.
        const int cols = model->columnCount();
        const int step = move == Move::Next ? 1 : -1;
        for (long long k = static_cast<long long>(from.row()) * cols + from.column() + step;
             k >= 0 && k < static_cast<long long>(model->rowCount()) * cols; k += step) {
            const QModelIndex i = model->index(static_cast<int>(k / cols), static_cast<int>(k % cols));
            if (model->flags(i) & Qt::ItemIsEditable) {
                to = i;
                break;
            }
        }
    }
    if (!to.isValid()) return;
    view_->setCurrentIndex(to);
    view_->scrollTo(to);
}

void set_up_cell_editing(QTableView* view, QObject* key_filter) {
    view->setItemDelegate(new CellEditDelegate(view, key_filter));
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
}

}  // namespace varnex
