#pragma once

#include <QAbstractTableModel>

#include <functional>
#include <string>
#include <vector>

namespace lurvik {

class LinkRecord;

// Rows of link records in a view (a page's link list, a Find window's results). The records belong
// to someone else; the model only points at them.
class LinkRowsModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

protected:
    // Orders the rows by the text key gives each record, byte by byte and stably, so equal rows
    // keep their order; selections and the current row stay on their records.
    void sortRows(const std::function<std::string(const LinkRecord&)>& key, bool descending);

    std::vector<const LinkRecord*> m_rows;
};

} // namespace lurvik
