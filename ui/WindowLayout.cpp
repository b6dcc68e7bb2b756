#include "WindowLayout.h"

#include "LinkListModel.h"
#include "retrieval/Settings.h"

#include <QEvent>
#include <QMainWindow>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace lurvik {

WindowLayout::WindowLayout(Settings& settings, QMainWindow& window, QSplitter& splitter, QTreeView& linkTable)
    : QObject(&window), m_settings(settings), m_window(window), m_splitter(splitter), m_linkTable(linkTable) {
    m_splitter.installEventFilter(this);
    connect(&m_splitter, &QSplitter::splitterMoved, this, [this](int position) {
        int total = m_splitter.width() - m_splitter.handleWidth();
        if (total > 0)
            m_treeShare = std::clamp(double(position) / total, 0.05, 0.9);
    });
}

void WindowLayout::restore() {
    const Settings& s = m_settings;
    if (s.mainRight > s.mainLeft && s.mainBottom > s.mainTop) {
        m_window.setGeometry(s.mainLeft, s.mainTop, s.mainRight - s.mainLeft, s.mainBottom - s.mainTop);
    } else if (QScreen* shown = m_window.screen()) {
        // A first window sized for the screen it opens on, not for the displays of long ago.
        QRect available = shown->availableGeometry();
        QSize size(available.width() * 2 / 3, available.height() * 2 / 3);
        m_window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
    }
    if (s.mainMaximized)
        m_window.setWindowState(m_window.windowState() | Qt::WindowMaximized);
    if (s.treeWidth >= 1 && s.treeWidth <= 2999 && s.paneWidth > s.treeWidth)
        m_treeShare = double(s.treeWidth) / s.paneWidth;
    else if (s.treeWidth >= 1 && s.treeWidth <= 2999 && m_window.width() > s.treeWidth)
        m_treeShare = double(s.treeWidth) / m_window.width();
    m_treeShare = std::clamp(m_treeShare, 0.05, 0.9);
    keepTreeShare();
    // First widths from the texts the columns hold most ("Html (SSI) Page", "outside limits"),
    // in the font the list uses, so no first look shows them cut.
    const QFontMetrics metrics = m_linkTable.fontMetrics();
    const int padding = 2 * metrics.averageCharWidth() + 8;
    m_linkTable.setColumnWidth(LinkListModel::ColumnLink,
                               s.linkWidth ? s.linkWidth : 28 * metrics.averageCharWidth());
    m_linkTable.setColumnWidth(
        LinkListModel::ColumnType,
        s.typeWidth ? s.typeWidth : metrics.horizontalAdvance(QStringLiteral("Html (SSI) Page")) + padding);
    m_linkTable.setColumnWidth(LinkListModel::ColumnStatus,
                               s.statusWidth
                                   ? s.statusWidth
                                   : metrics.horizontalAdvance(QStringLiteral("outside limits")) + padding);
    m_linkTable.setColumnWidth(LinkListModel::ColumnUrl, s.urlWidth ? s.urlWidth : 200);
}

void WindowLayout::keepTreeShare() {
    int total = m_splitter.width() - m_splitter.handleWidth();
    if (total <= 0)
        return;
    int tree = std::max(1, static_cast<int>(total * m_treeShare + 0.5));
    m_splitter.setSizes({tree, std::max(1, total - tree)});
}

bool WindowLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_splitter && event->type() == QEvent::Resize)
        keepTreeShare();
    return QObject::eventFilter(watched, event);
}

void WindowLayout::store() {
    Settings& s = m_settings;
    QRect frame =
        m_window.isMaximized() || m_window.isFullScreen() ? m_window.normalGeometry() : m_window.geometry();
    s.mainLeft = frame.left();
    s.mainTop = frame.top();
    s.mainRight = frame.left() + frame.width();
    s.mainBottom = frame.top() + frame.height();
    s.mainMaximized = m_window.isMaximized() ? 1 : 0;
    s.treeWidth = m_splitter.sizes().value(0);
    s.paneWidth = m_splitter.width() - m_splitter.handleWidth();
    s.linkWidth = m_linkTable.columnWidth(LinkListModel::ColumnLink);
    s.typeWidth = m_linkTable.columnWidth(LinkListModel::ColumnType);
    s.urlWidth = m_linkTable.columnWidth(LinkListModel::ColumnUrl);
    s.statusWidth = m_linkTable.columnWidth(LinkListModel::ColumnStatus);
}

} // namespace lurvik
