#pragma once
// How the data grid is drawn: columns as wide as the widest number the program writes and widenable
// by dragging, a tooltip with the whole text of a cell that is still cut, and the jump to x(i). None
// of it reads more than the cells on screen, so an order-2000 layout stays as quick as a small one.

#include <QStyledItemDelegate>

class QTableView;

namespace varnex {

/// Draws cells as the standard delegate does; a tooltip shows a cell's text only when it is cut.
class CutTextDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

/// Width in pixels of a column that shows the widest text of the number-to-text conversion (such as
/// -8.888888E+38) whole, grid line included, in the view's font and style.
int widest_number_width(const QTableView* view);

/// Uniform row heights and number-wide columns that the user may widen; the cut-text delegate;
/// Ctrl+End to x(N) and Ctrl+Home to the first cell.
void set_up_grid_view(QTableView* view);

/// Makes x(i), the last column of row i, current, scrolled into view, and gives the grid the focus.
/// False when the grid has no row i.
bool go_to_x(QTableView* view, int i);

}  // namespace varnex
