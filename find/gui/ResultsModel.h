#pragma once

#include "analysis/gui/LinkRowsModel.h"

#include <QIcon>

#include <functional>
#include <vector>

namespace lurvik {

class LinkRecord;

// The rows of a Find window's results list: "Link Name", "Type" and "URL Name" of each result.
// The records belong to the search; the model only points at them and must be cleared before
// the search lets them go.
class ResultsModel : public LinkRowsModel {
    Q_OBJECT
public:
    explicit ResultsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void append(const std::vector<const LinkRecord*>& records);
    void clear();
    // Drops the rows whose record keep refuses, keeping the others' order.
    void keepOnly(const std::function<bool(const LinkRecord&)>& keep);
    const LinkRecord* recordAt(int row) const;
    // The records in the order the list shows them.
    const std::vector<const LinkRecord*>& records() const { return m_rows; }

    // Column 0 compares the texts, 1 the type names, 2 the URL texts, byte by byte; a stable sort,
    // so equal rows keep the order in which they were found.
    void sortRows(int column, bool descending);
    static QString cellText(const LinkRecord& record, int column);

    std::function<QIcon(int index)> linkIcon;
};

} // namespace lurvik
