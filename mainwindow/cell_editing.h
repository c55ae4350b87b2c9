#pragma once
// Typing into the data grid: a coefficient or right-hand-side cell is edited in place (double-click,
// F2, or typing over the current cell). The model decides which cells take a value and hands a typed
// value to the command that checks and writes it; this delegate only runs the editor, moves on as a
// spreadsheet does (Return down, Tab right, Shift+Tab left) and commits nothing the user did not type.

#include <QPointer>
#include <string>
#include <string_view>
#include <vector>

#include "core/ui.h"
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
    /// The typed text goes to the model at once, and only once for each editor, however the editor
    /// ends (Return, Tab, a click elsewhere, finish_editing).
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    /// Enters what the open editor holds and closes it. The window calls it before every command, so
    /// that a command works on the typed value and no editor commits while a command runs.
    void finish_editing();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Move { Down, Next, Previous };
    void move_current(Move move);

    QTableView* view_;
    QPointer<QObject> key_filter_;
    mutable QPointer<QWidget> open_editor_;  ///< the editor whose text has not been entered yet
};

/// Message boxes that wait: a command run while the cell editor closes collects its messages here,
/// and the window shows them once the editor has gone, so that no modal box takes the focus from an
/// editor that is still closing.
class HeldMessages : public MessageBoxes {
  public:
    std::vector<std::string> texts;
    void message(std::string_view text) override { texts.emplace_back(text); }
    bool ask_yes_no(std::string_view) override { return false; }
};

/// Sets the view's editing keys and its delegate (the cut-text tooltips stay); returns the delegate.
CellEditDelegate* set_up_cell_editing(QTableView* view, QObject* key_filter);

}  // namespace varnex
