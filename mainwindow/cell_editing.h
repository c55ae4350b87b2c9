#pragma once
// Typing into the data grid: a coefficient or right-hand-side cell is edited in place (double-click,
// F2, or typing over the current cell). The model decides which cells take a value and hands a typed
// value to the command that checks and writes it; this delegate only runs the editor, moves on as a
// spreadsheet does (Return down, Tab right, Shift+Tab left) and commits nothing the user did not type.

#include <QPointer>

#include "mainwindow/grid_view.h"

class QTableView;

namespace varnex {

class CellEditDelegate : public CutTextDelegate {
    Q_OBJECT

  public:
    /// `key_filter` is installed on every editor, so that the menu's shortcuts keep their keys there
    /// as in the window's other text boxes.
    CellEditDelegate(QTableView* view, QObject* key_filter);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    /// A value shows as it stands; a placeholder such as a(2,3) gives an empty editor.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    /// The typed text goes to the model once the editor has closed, so that a message box about a bad
    /// value does not pull the focus from an editor that is still open.
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Move { Down, Next, Previous };
    void move_current(Move move);

    QTableView* view_;
    QPointer<QObject> key_filter_;
};

/// Sets the view's editing keys and its delegate: the cut-text tooltips stay.
void set_up_cell_editing(QTableView* view, QObject* key_filter);

}  // namespace varnex
