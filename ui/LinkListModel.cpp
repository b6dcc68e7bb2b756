#include "LinkListModel.h"

#include "Icons.h"
#include "analysis/LinkRecord.h"
#include "retrieval/SiteNode.h"

#include <QFont>
#include <QGuiApplication>
#include <QPalette>

namespace lurvik {

LinkListModel::LinkListModel(QObject* parent) : LinkRowsModel(parent) {}

LinkListModel::~LinkListModel() = default;

int LinkListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int LinkListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString LinkListModel::linkText(const LinkRecord& link, int column) {
    switch (column) {
    case ColumnLink:
        return QString::fromUtf8(link.text.text(), link.text.len());
    case ColumnType: {
        Str name;
        link.typeName(name);
        return QString::fromUtf8(name.text(), name.len());
    }
    case ColumnUrl:
        return QString::fromStdString(link.url.text());
    default:
        return {};
    }
}

QString LinkListModel::cellText(const LinkRecord& link, int column) const {
    if (column != ColumnStatus)
        return linkText(link, column);
    return statusOf ? QString::fromStdString(statusOf(link)) : QString();
}

QColor LinkListModel::errorColour() {
    // Qt's palettes name no colour for errors: a red that stays readable on light and dark bases.
    bool dark = QGuiApplication::palette().color(QPalette::Base).lightness() < 128;
    return dark ? QColor(255, 120, 110) : QColor(190, 20, 20);
}

QVariant LinkListModel::data(const QModelIndex& index, int role) const {
    const LinkRecord* link = linkAt(index.row());
    if (!link)
        return {};
    const bool isRendered = m_rendered.count(link) != 0;
    if (role == Qt::DisplayRole) {
        if (isRendered && index.column() == ColumnLink)
            return cellText(*link, ColumnLink) + tr(" (rendered)");
        return cellText(*link, index.column());
    }
    if (role == Qt::ToolTipRole) {
        if (isRendered)
            return tr("Found only after the page's scripts ran: %1").arg(cellText(*link, index.column()));
        return cellText(*link, index.column());
    }
    if (role == Qt::FontRole && isRendered) {
        QFont italic;
        italic.setItalic(true);
        return italic;
    }
    if (role == Qt::ForegroundRole) {
        QString status = cellText(*link, ColumnStatus);
        if (status.startsWith(QLatin1String("failed")) || status.startsWith(QLatin1String("broken")))
            return errorColour();
    }
    if (role == Qt::DecorationRole && index.column() == ColumnLink)
        return Icons::linkIcon(link->iconIndex());
    return {};
}

QVariant LinkListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const names[] = {"Link Name", "Type", "URL Name", "Status"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QString();
}

void LinkListModel::statusesChanged() {
    if (m_statusFilter != StatusFilter::All)
        applyFilter();
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
                         {Qt::DisplayRole, Qt::ToolTipRole, Qt::ForegroundRole});
}

const LinkRecord* LinkListModel::linkAt(int row) const {
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? m_rows[row] : nullptr;
}

void LinkListModel::reset(std::vector<const LinkRecord*> rows) {
    m_all = std::move(rows);
    m_sortColumn = -1;
    m_sortDescending = -1;
    applyFilter();
    emit sortIndicatorChanged();
}

bool LinkListModel::passes(const LinkRecord& link) const {
    if (!m_filterText.isEmpty() && !linkText(link, ColumnLink).contains(m_filterText, Qt::CaseInsensitive) &&
        !linkText(link, ColumnUrl).contains(m_filterText, Qt::CaseInsensitive))
        return false;
    if (m_statusFilter == StatusFilter::All)
        return true;
    const QString status = cellText(link, ColumnStatus);
    if (m_statusFilter == StatusFilter::Broken)
        return status.startsWith(QLatin1String("failed")) || status.startsWith(QLatin1String("broken"));
    return status == QLatin1String("outside limits") || status == QLatin1String("not retrieved");
}

void LinkListModel::applyFilter() {
    std::vector<const LinkRecord*> rows;
    for (const LinkRecord* link : m_all)
        if (passes(*link))
            rows.push_back(link);
    if (rows == m_rows)
        return;
    // Rows go and come rather than the model resetting, which would cost the header its widths.
    if (!m_rows.empty()) {
        beginRemoveRows({}, 0, static_cast<int>(m_rows.size()) - 1);
        m_rows.clear();
        endRemoveRows();
    }
    if (!rows.empty()) {
        beginInsertRows({}, 0, static_cast<int>(rows.size()) - 1);
        m_rows = std::move(rows);
        endInsertRows();
    }
    if (m_sortColumn >= 0)
        sortByColumn(m_sortColumn);
}

void LinkListModel::setFilter(const QString& text, StatusFilter status) {
    m_filterText = text.trimmed();
    m_statusFilter = status;
    applyFilter();
}

void LinkListModel::fillPage(const SiteNode* node) {
    std::vector<const LinkRecord*> rows;
    std::unordered_set<const LinkRecord*> rendered;
    int state = node ? node->state.load() : 0;
    if (state == NODE_WAITING || state >= NODE_PARSED) {
        for (const LinkRecord& link : node->links)
            rows.push_back(&link);
        if (node->renderedLinks)
            for (uint32_t index : *node->renderedLinks)
                rendered.insert(node->links.get(static_cast<int>(index)));
    }
    m_rendered = std::move(rendered);
    reset(std::move(rows));
    m_siteRecords.clear();
}

void LinkListModel::fillSites(const std::vector<const SiteNode*>& sites) {
    std::vector<std::unique_ptr<LinkRecord>> records;
    std::vector<const LinkRecord*> rows;
    for (const SiteNode* site : sites) {
        Str title;
        if (site->state == NODE_DONE || site->state == NODE_ERROR)
            title.cpy(site->title.view());
        records.push_back(std::make_unique<LinkRecord>(LINK_HYPERLINK, site->url, title));
        rows.push_back(records.back().get());
    }
    m_rendered.clear();
    reset(std::move(rows));
    // The old records go only after the views have let go of them.
    m_siteRecords = std::move(records);
}

void LinkListModel::clear() {
    statusOf = nullptr;
    m_rendered.clear();
    reset({});
    m_siteRecords.clear();
}

void LinkListModel::sortByColumn(int column) {
    if (column < 0 || column >= ColumnCount)
        return;
    // Descending includes -1, the state after a refill: the Arrange commands then sort
    // descending before the indicator turns ascending.
    sortRows([this, column](const LinkRecord& link) { return cellText(link, column).toStdString(); },
             m_sortDescending != 0);
}

void LinkListModel::setIndicator(int column) {
    if (column != m_sortColumn)
        m_sortDescending = 0;
    m_sortColumn = column;
    emit sortIndicatorChanged();
}

void LinkListModel::clickColumn(int column) {
    m_sortDescending = m_sortDescending ? 0 : 1;
    setIndicator(column);
    sortByColumn(column);
}

void LinkListModel::arrangeByColumn(int column) {
    sortByColumn(column);
    setIndicator(column);
}

} // namespace lurvik
