#pragma once

#include "analysis/gui/LinkRowsModel.h"

#include <QColor>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace lurvik {

class LinkRecord;
class SiteNode;

// The link list of the selected page: one row per link record, which the page's node owns. With
// the root selected it lists the top-level sites through records of its own.
class LinkListModel : public LinkRowsModel {
    Q_OBJECT
public:
    enum Column { ColumnLink = 0, ColumnType = 1, ColumnUrl = 2, ColumnStatus = 3, ColumnCount = 4 };

    explicit LinkListModel(QObject* parent = nullptr);
    ~LinkListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The node's links, in the page's order. A node being fetched or scanned shows none: a worker
    // may be writing its list.
    void fillPage(const SiteNode* node);
    void fillSites(const std::vector<const SiteNode*>& sites);
    void clear();
    // The statuses (and so the rows' colours) may have changed: the views read them again, and a
    // filter on the status is applied anew.
    void statusesChanged();

    // Shows only the links whose name or address holds text (in any case) and whose status is of
    // the kind asked for: broken (failed or broken), or blocked (not followed: outside the limits
    // or not retrieved). The page's other links come back when the filter is cleared.
    enum class StatusFilter { All, Broken, Blocked };
    void setFilter(const QString& text, StatusFilter status);
    // Every link of the page or the root, the filter aside.
    int unfilteredCount() const { return static_cast<int>(m_all.size()); }

    const LinkRecord* linkAt(int row) const;
    static QString linkText(const LinkRecord& link, int column);
    // The colour of failed and broken rows.
    static QColor errorColour();
    // The text of any column, the status included.
    QString cellText(const LinkRecord& link, int column) const;

    // What a link leads to, in the link report's words; read whenever a status is shown or
    // sorted, so that it follows the retrieval without a refill.
    std::function<std::string(const LinkRecord&)> statusOf;

    // The sort state: both -1 after every refill. A column click flips the direction and then
    // sorts; the Arrange commands sort with the current direction first.
    void sortByColumn(int column);
    void clickColumn(int column);
    void arrangeByColumn(int column);
    int sortColumn() const { return m_sortColumn; }
    int sortDescending() const { return m_sortDescending; }

signals:
    // The header should show this state.
    void sortIndicatorChanged();

private:
    void setIndicator(int column);
    void reset(std::vector<const LinkRecord*> rows);
    // Puts the links that pass the filter in view, in the sorted order when a sort is set.
    void applyFilter();
    bool passes(const LinkRecord& link) const;

    std::vector<std::unique_ptr<LinkRecord>> m_siteRecords;
    std::vector<const LinkRecord*> m_all;
    // The links only the rendered page holds.
    std::unordered_set<const LinkRecord*> m_rendered;
    QString m_filterText;
    StatusFilter m_statusFilter = StatusFilter::All;
    int m_sortColumn = -1;
    int m_sortDescending = -1;
};

} // namespace lurvik
