#include "mainwindow/grid_view.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QStyle>
#include <QTableView>
#include <QToolTip>
#include <algorithm>

#include "core/convert.h"

namespace varnex {

bool CutTextDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    // One cell is measured, the one under the pointer: the width its text needs against its own.
    const int needed = sizeHint(option, index).width();
    const QString text = index.data(Qt::DisplayRole).toString();
    if (needed > option.rect.width() && !text.isEmpty()) {
        QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
}

namespace {

// Ctrl+End and Ctrl+Home in one step, also before the grid has a current cell (where the table
// view's own keys would first stop at the top-left cell).
class GridKeys : public QObject {
  public:
    explicit GridKeys(QTableView* view) : QObject(view), view_(view) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != view_ || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() != Qt::ControlModifier) return false;
        QAbstractItemModel* model = view_->model();
        if (!model || model->rowCount() < 1 || model->columnCount() < 1) return false;
        if (key->key() == Qt::Key_End) return go_to_x(view_, model->rowCount());
        if (key->key() == Qt::Key_Home) {
            view_->setCurrentIndex(model->index(0, 0));
            view_->scrollTo(view_->currentIndex());
            return true;
        }
        return false;
    }

  private:
    QTableView* view_;
};

}  // namespace

int widest_number_width(const QTableView* view) {
    // The longest texts single_to_text writes are 13 characters: a sign, seven digits, the separator
    // and an exponent, or a sign and a small plain decimal. 8 is as wide as any digit in common fonts.
    const char sep = decimal_separator();
    const QString texts[] = {QStringLiteral("-8%18888888E+38").arg(QChar(sep)),
                             QStringLiteral("-8%18888888E-38").arg(QChar(sep)),
                             QStringLiteral("-0%10008888888").arg(QChar(sep))};
    QStyleOptionViewItem opt;
    opt.initFrom(view);
    opt.font = view->font();
    opt.fontMetrics = QFontMetrics(opt.font);
    opt.features = QStyleOptionViewItem::HasDisplay;
    opt.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    opt.textElideMode = Qt::ElideRight;
    QStyle* style = view->style();
    int width = 0;
    for (const QString& t : texts) {
        opt.text = t;
        width = std::max(width, style->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), view).width());
    }
    // A table view draws its grid line inside the cell.
    return width + (view->showGrid() ? 1 : 0);
}

void set_up_grid_view(QTableView* view) {
    view->setItemDelegate(new CutTextDelegate(view));
    view->installEventFilter(new GridKeys(view));
    // Uniform sections, never measured from contents, so a large order lays out at once and scrolls
    // by reading only the visible cells; columns can be widened by dragging their header edge.
    const int row_height = view->fontMetrics().height() + 4;
    QHeaderView* columns = view->horizontalHeader();
    QHeaderView* rows = view->verticalHeader();
    for (QHeaderView* header : {columns, rows}) {
        header->setHighlightSections(false);
        header->setMinimumSectionSize(row_height);
    }
    columns->setSectionResizeMode(QHeaderView::Interactive);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    columns->setDefaultSectionSize(widest_number_width(view));
    rows->setDefaultSectionSize(row_height);
    rows->setMinimumWidth(view->fontMetrics().horizontalAdvance(QStringLiteral("Solution")) + 12);
}

bool go_to_x(QTableView* view, int i) {
    QAbstractItemModel* model = view->model();
    if (!model || i < 1 || i > model->rowCount() || model->columnCount() < 1) return false;
    // The approximation is the last column in both layouts: 2N + 3 of the system, 1 of the solution.
    const QModelIndex x = model->index(i - 1, model->columnCount() - 1);
    view->setCurrentIndex(x);
    view->scrollTo(x, QAbstractItemView::PositionAtCenter);
    view->setFocus();
    return true;
}

}  // namespace varnex
