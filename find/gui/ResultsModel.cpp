#include "ResultsModel.h"

#include "analysis/LinkRecord.h"
#include "platform/gui/QtText.h"

#include <algorithm>
#include <string>

namespace lurvik {

namespace {

// The text of a column as the record holds it: sorting compares these bytes, the view shows them.
Str columnText(const LinkRecord& record, int column) {
    Str text;
    if (column == 0)
        text = record.text.view();
    else if (column == 1)
        record.typeName(text);
    else
        record.url.getURLString(text, 1);
    return text;
}

} // namespace

ResultsModel::ResultsModel(QObject* parent) : LinkRowsModel(parent) {}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QString ResultsModel::cellText(const LinkRecord& record, int column) {
    return fromStr(columnText(record, column));
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    const LinkRecord* record = recordAt(index.row());
    if (!record)
        return {};
    // The tooltip gives back what a narrow column elides.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cellText(*record, index.column());
    if (role == Qt::DecorationRole && index.column() == 0 && linkIcon)
        return linkIcon(record->iconIndex());
    return {};
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const names[] = {"Link Name", "Type", "URL Name"};
    return section >= 0 && section < 3 ? QString::fromLatin1(names[section]) : QString();
}

void ResultsModel::append(const std::vector<const LinkRecord*>& records) {
    if (records.empty())
        return;
    int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(records.size()) - 1);
    m_rows.insert(m_rows.end(), records.begin(), records.end());
    endInsertRows();
}

void ResultsModel::clear() {
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void ResultsModel::keepOnly(const std::function<bool(const LinkRecord&)>& keep) {
    auto gone = std::remove_if(m_rows.begin(), m_rows.end(),
                               [&keep](const LinkRecord* record) { return !keep(*record); });
    if (gone == m_rows.end())
        return;
    beginResetModel();
    m_rows.erase(gone, m_rows.end());
    endResetModel();
}

const LinkRecord* ResultsModel::recordAt(int row) const {
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? m_rows[row] : nullptr;
}

void ResultsModel::sortRows(int column, bool descending) {
    if (column < 0 || column > 2)
        return;
    LinkRowsModel::sortRows([column](const LinkRecord& record) { return columnText(record, column).str(); },
                            descending);
}

} // namespace lurvik
