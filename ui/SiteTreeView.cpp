#include "SiteTreeView.h"

#include <QPainter>

namespace lurvik {

SiteTreeView::SiteTreeView(QWidget* parent) : QTreeView(parent) {}

QString SiteTreeView::hint() const {
    // The model has one root item ("Lurvik"); sites are its children.
    QAbstractItemModel* tree = model();
    if (!tree || tree->rowCount() != 1 || tree->rowCount(tree->index(0, 0)) != 0)
        return {};
    return tr("Open a site with Ctrl+O");
}

void SiteTreeView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    QString text = hint();
    if (text.isEmpty())
        return;
    QRect below = visualRect(model()->index(0, 0));
    QRect area(below.left() + indentation(), below.bottom() + below.height() / 2, viewport()->width(),
               below.height() * 2);
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, text);
}

} // namespace lurvik
