#include "mainwindow/grid_table_model.h"

#include <algorithm>

namespace varnex {

GridTableModel::GridTableModel(GridModel& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {
    grid_.set_observer(this);
}

GridTableModel::~GridTableModel() {
    if (grid_.observer() == this) grid_.set_observer(nullptr);
}

int GridTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : grid_.rows() - 1; }

int GridTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : grid_.cols() - 1; }

QString GridTableModel::grid_text(int row, int col) const {
    std::string_view t = grid_.text(row, col, scratch_);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

QVariant GridTableModel::data(const QModelIndex& index, int role) const {
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid()) return {};
    // Model cell (r, c) is grid cell (r + 1, c + 1): the grid's row 0 and column 0 are the headers.
    const int row = index.row() + 1, col = index.column() + 1;
    if (row >= grid_.rows() || col >= grid_.cols()) return {};
    return grid_text(row, col);
}

QVariant GridTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0) return {};
    if (orientation == Qt::Horizontal)
        return section + 1 < grid_.cols() ? QVariant(grid_text(0, section + 1)) : QVariant();
    if (section + 1 >= grid_.rows()) return {};
    // The fixed column is empty in the system layout (the one with "System" in its corner): its
    // header shows the equation number there.
    const QString text = grid_text(section + 1, 0);
    if (text.isEmpty() && cornerText() == QLatin1String("System")) return QString::number(section + 1);
    return text;
}

Qt::ItemFlags GridTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    const Qt::ItemFlags shown = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return editable_ && editable_(index.row() + 1, index.column() + 1) ? shown | Qt::ItemIsEditable : shown;
}

bool GridTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !enter_) return false;
    // The command writes the cell, and the grid's observer announces the change.
    enter_(index.row() + 1, index.column() + 1, value.toString());
    return true;
}

void GridTableModel::set_entry(EditableCell editable, EnterCell enter) {
    editable_ = std::move(editable);
    enter_ = std::move(enter);
}

QString GridTableModel::cornerText() const { return grid_text(0, 0); }

void GridTableModel::grid_reset() {
    // A reset asked for from a slot of this very reset (a handler of modelReset that resizes the grid)
    // is run after it, so the views end up with the final counts.
    if (resetting_) {
        reset_again_ = true;
        return;
    }
    resetting_ = true;
    do {
        reset_again_ = false;
        dirty_ = false;
        beginResetModel();
        endResetModel();
        emit cornerChanged();
    } while (reset_again_);
    resetting_ = false;
}

void GridTableModel::cell_written(int row, int col) {
    if (resetting_) {
        reset_again_ = true;
        return;
    }
    if (!deferred_) {
        announce(row, col, row, col);
        return;
    }
    if (!dirty_) {
        dirty_ = true;
        dirty_top_ = dirty_bottom_ = row;
        dirty_left_ = dirty_right_ = col;
        return;
    }
    dirty_top_ = std::min(dirty_top_, row);
    dirty_bottom_ = std::max(dirty_bottom_, row);
    dirty_left_ = std::min(dirty_left_, col);
    dirty_right_ = std::max(dirty_right_, col);
}

void GridTableModel::set_deferred(bool deferred) {
    deferred_ = deferred;
    if (!deferred_) flush();
}

void GridTableModel::flush() {
    if (!dirty_) return;
    dirty_ = false;
    announce(dirty_top_, dirty_left_, dirty_bottom_, dirty_right_);
}

// Announces the grid rectangle rows top..bottom, columns left..right: its part in the corner, in the
// two headers and in the body, each with one signal.
void GridTableModel::announce(int top, int left, int bottom, int right) {
    bottom = std::min(bottom, grid_.rows() - 1);
    right = std::min(right, grid_.cols() - 1);
    if (top > bottom || left > right) return;
    if (top == 0 && left == 0) emit cornerChanged();
    if (top == 0 && right >= 1) emit headerDataChanged(Qt::Horizontal, std::max(left, 1) - 1, right - 1);
    if (left == 0 && bottom >= 1) emit headerDataChanged(Qt::Vertical, std::max(top, 1) - 1, bottom - 1);
    if (bottom >= 1 && right >= 1)
        emit dataChanged(index(std::max(top, 1) - 1, std::max(left, 1) - 1), index(bottom - 1, right - 1),
                         {Qt::DisplayRole});
}

}  // namespace varnex
