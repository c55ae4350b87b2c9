#include "mainwindow/client_area.h"

#include <QResizeEvent>
#include <algorithm>

namespace varnex {

ClientArea::ClientArea(QSize designed, QWidget* parent) : QWidget(parent), designed_(designed) {
    setMinimumSize(designed_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ClientArea::anchor(QWidget* grid) {
    grid_ = grid;
    places_.clear();
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        places_.emplace_back(child, child->geometry());
    place_children();
}

void ClientArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place_children();
}

void ClientArea::place_children() {
    // dw, dh: how much wider and taller than designed the area is now.
    const int dw = std::max(0, width() - designed_.width());
    const int dh = std::max(0, height() - designed_.height());
    for (const auto& [child, designed] : places_) {
        if (!child) continue;
        if (child == grid_)
            child->setGeometry(designed.adjusted(0, 0, dw, dh));
        else
            child->move(designed.topLeft() + QPoint(0, dh));
    }
}

}  // namespace varnex
