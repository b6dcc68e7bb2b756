#include "GoToPage.h"

#include "core/Str.h"

#include <algorithm>
#include <vector>

namespace lurvik {

namespace {

// The items below the root in display order, without recursion: a crawled site can be deep.
std::vector<SiteTreeModel::Item*> displayOrder(const SiteTreeModel::Item* root) {
    std::vector<SiteTreeModel::Item*> order;
    std::vector<SiteTreeModel::Item*> stack(root->children.rbegin(), root->children.rend());
    while (!stack.empty()) {
        SiteTreeModel::Item* item = stack.back();
        stack.pop_back();
        order.push_back(item);
        stack.insert(stack.end(), item->children.rbegin(), item->children.rend());
    }
    return order;
}

} // namespace

SiteTreeModel::Item* findPageTitle(const SiteTreeModel& model, const SiteTreeModel::Item* from,
                                   const QString& text, bool matchCase, bool wholeWord, bool down) {
    std::vector<SiteTreeModel::Item*> order = displayOrder(model.root());
    if (!down)
        std::reverse(order.begin(), order.end());
    size_t start = 0;
    if (from && from != model.root()) {
        while (start < order.size() && order[start] != from)
            ++start;
        ++start;
    }
    std::string needle = text.toStdString();
    for (size_t i = start; i < order.size(); ++i) {
        Str shown(model.itemText(order[i]).toStdString());
        if (shown.find(needle, 0, matchCase, wholeWord) >= 0)
            return order[i];
    }
    return nullptr;
}

} // namespace lurvik
