#pragma once
// The item model through which a table view shows the data grid. Row 0 and column 0 of the grid are
// its fixed header cells: they appear as the horizontal and vertical header sections, and the corner
// cell (0, 0) through cornerText(); in the system layout an empty cell of the fixed column shows as
// the row's equation number. The model only reads the grid on demand, so a view of an order-
// 2000 layout costs what its visible cells cost.

#include <QAbstractTableModel>
#include <functional>
#include <string>

#include "core/grid_model.h"

namespace varnex {

class GridTableModel : public QAbstractTableModel, public GridObserver {
    Q_OBJECT

  public:
    /// Registers itself as the grid's observer; the grid must outlive the model.
    explicit GridTableModel(GridModel& grid, QObject* parent = nullptr);
    ~GridTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// A typed value goes to the entry hook, which writes the cell through the program's command;
    /// the model itself never changes a cell. False when there is no hook.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    /// Which grid cells (row, col) take typed values, and the command that enters one. Without them
    /// the grid is display-only.
    using EditableCell = std::function<bool(int row, int col)>;
    using EnterCell = std::function<void(int row, int col, const QString& text)>;
    void set_entry(EditableCell editable, EnterCell enter);

    /// Text of the grid's corner cell (0, 0): "System", "Solution" or empty.
    QString cornerText() const;

    /// While deferred, written cells are only gathered into one dirty rectangle; flush() announces it.
    /// Turning deferral off flushes. Layout changes are always announced at once.
    void set_deferred(bool deferred);
    bool deferred() const { return deferred_; }
    /// Announces the cells written since the last flush, with one signal per kind of region.
    void flush();

    void grid_reset() override;
    void cell_written(int row, int col) override;

  signals:
    /// The corner cell's text may have changed.
    void cornerChanged();

  private:
    QString grid_text(int row, int col) const;
    void announce(int top, int left, int bottom, int right);

    GridModel& grid_;
    EditableCell editable_;
    EnterCell enter_;
    mutable std::string scratch_;
    bool deferred_ = false;
    bool resetting_ = false;
    bool reset_again_ = false;
    bool dirty_ = false;
    int dirty_top_ = 0, dirty_left_ = 0, dirty_bottom_ = 0, dirty_right_ = 0;  ///< grid coordinates
};

}  // namespace varnex
