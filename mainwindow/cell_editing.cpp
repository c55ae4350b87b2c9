#include "mainwindow/cell_editing.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <exception>

#include "core/convert.h"
#include "mainwindow/guarded.h"

namespace varnex {

CellEditDelegate::CellEditDelegate(QTableView* view, QObject* key_filter)
    : CutTextDelegate(view), view_(view), key_filter_(key_filter) {
    // Esc closes the editor without entering anything: it is no longer open for finish_editing.
    connect(this, &QAbstractItemDelegate::closeEditor, this, guard([this](QWidget* editor) {
                if (editor == open_editor_) open_editor_ = nullptr;
            }));
}

QWidget* CellEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    QWidget* editor = CutTextDelegate::createEditor(parent, option, index);
    editor->setObjectName(QStringLiteral("cellEditor"));
    open_editor_ = editor;
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
    // An editor whose text went in already (the focus leaving it after Return) enters nothing again.
    if (!edit || editor != open_editor_) return;
    open_editor_ = nullptr;
    // An editor opened and left without typing enters nothing: an empty text would be a bad number.
    if (edit->isModified()) model->setData(index, edit->text(), Qt::EditRole);
}

void CellEditDelegate::finish_editing() {
    QWidget* editor = open_editor_;
    if (!editor) return;
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
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
        finish_editing();
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

CellEditDelegate* set_up_cell_editing(QTableView* view, QObject* key_filter) {
    auto* delegate = new CellEditDelegate(view, key_filter);
    view->setItemDelegate(delegate);
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    return delegate;
}

}  // namespace varnex
