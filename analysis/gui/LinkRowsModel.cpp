#include "LinkRowsModel.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace lurvik {

void LinkRowsModel::sortRows(const std::function<std::string(const LinkRecord&)>& key, bool descending) {
    std::vector<std::pair<std::string, const LinkRecord*>> keyed;
    keyed.reserve(m_rows.size());
    for (const LinkRecord* record : m_rows)
        keyed.emplace_back(key(*record), record);
    std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
        return descending ? a.first > b.first : a.first < b.first;
    });
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    const std::vector<const LinkRecord*> oldRows = m_rows;
    std::unordered_map<const LinkRecord*, int> newRow;
    newRow.reserve(keyed.size());
    for (size_t i = 0; i < keyed.size(); ++i) {
        m_rows[i] = keyed[i].second;
        newRow.emplace(keyed[i].second, static_cast<int>(i));
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(createIndex(newRow.at(oldRows[index.row()]), index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

} // namespace lurvik
