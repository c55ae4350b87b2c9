// Copy and Paste between the grid and the clipboard (the Edit menu's commands). The block logic lives
// in commands/grid_clipboard; this finds the selected cells and talks to the clipboard.
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QTableView>

#include "commands/grid_clipboard.h"
#include "mainwindow/frm_main.h"
#include "mainwindow/grid_table_model.h"
#include "mainwindow/guarded.h"
#include "mainwindow/picture_windows.h"

namespace varnex {

namespace {

// The selected block of the view in grid coordinates (the view's cell (r, c) is grid cell
// (r + 1, c + 1)), or the current cell when nothing is selected; false when there is neither.
bool selected_block(const QTableView* view, int& top, int& left, int& bottom, int& right) {
    const QItemSelection sel = view->selectionModel() ? view->selectionModel()->selection() : QItemSelection();
    if (!sel.isEmpty()) {
        top = left = INT_MAX;
        bottom = right = -1;
        for (const QItemSelectionRange& r : sel) {
            top = std::min(top, r.top());
            left = std::min(left, r.left());
            bottom = std::max(bottom, r.bottom());
            right = std::max(right, r.right());
        }
    } else if (view->currentIndex().isValid()) {
        top = bottom = view->currentIndex().row();
        left = right = view->currentIndex().column();
    } else {
        return false;
    }
    ++top, ++left, ++bottom, ++right;
    return true;
}

}  // namespace

void FrmMain::copy_selection() {
    int top, left, bottom, right;
    if (!selected_block(msfgData_, top, left, bottom, right)) return;
    const std::string text = copy_cells(app_, top, left, bottom, right);
    if (!text.empty()) QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void FrmMain::paste_clipboard() {
    // Paste writes the grid, which the matrix picture's worker reads: it stops first.
    if (pictures_) pictures_->command_starting();
    guarded([this] { paste_block(); });
    if (pictures_) pictures_->command_ended();
}

void FrmMain::paste_block() {
    int top = 1, left = 1, bottom, right;
    selected_block(msfgData_, top, left, bottom, right);
    const std::string text = QGuiApplication::clipboard()->text().toStdString();
    // The written cells reach the view as one change once the block is in.
    model_->set_deferred(true);
    const PasteReport rep = paste_cells(app_, top, left, text);
    model_->set_deferred(false);
    // The pasted block becomes the selection, so it can be seen and copied again at once.
    if (rep.written > 0) {
        QAbstractItemModel* m = msfgData_->model();
        msfgData_->selectionModel()->select(
            QItemSelection(m->index(rep.top - 1, rep.left - 1), m->index(rep.bottom - 1, rep.right - 1)),
            QItemSelectionModel::ClearAndSelect);
    }
}

}  // namespace varnex
