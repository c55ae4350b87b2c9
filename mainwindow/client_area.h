#pragma once
// The main window's client area: designed at a fixed size, it may grow. The grid takes all the extra
// room; every other control keeps its designed place relative to the grid's lower edge, so at the
// designed size the window looks exactly as designed.

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <utility>
#include <vector>

namespace varnex {

class ClientArea : public QWidget {
    Q_OBJECT

  public:
    /// `designed` is the client area's designed size, also its minimum.
    ClientArea(QSize designed, QWidget* parent = nullptr);

    /// Takes the current geometry of every child as its designed place; `grid` is the one that grows.
    void anchor(QWidget* grid);

    QSize sizeHint() const override { return designed_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void place_children();

    QSize designed_;
    QPointer<QWidget> grid_;
    std::vector<std::pair<QPointer<QWidget>, QRect>> places_;  ///< designed geometry of each direct child
};

}  // namespace varnex
