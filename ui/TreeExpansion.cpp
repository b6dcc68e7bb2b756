#include "TreeExpansion.h"

#include "SiteTreeView.h"
#include "SlicedWork.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace lurvik {

SlicedWork* expandBelow(SiteTreeView& view, SiteTreeModel& model, SiteTreeModel::Item* top, bool expand,
                        QWidget* owner) {
    struct Walk {
        // Ids rather than items: a site may be removed while the work waits between slices.
        std::vector<uint32_t> pending;
        size_t visited = 0;
    };
    auto walk = std::make_shared<Walk>();
    if (top)
        walk->pending.push_back(top->id);
    const size_t total = std::max<size_t>(1, model.itemCount());
    auto step = [walk, &view, &model, expand] {
        if (walk->pending.empty())
            return false;
        SiteTreeModel::Item* item = model.itemById(walk->pending.back());
        walk->pending.pop_back();
        ++walk->visited;
        if (!item || item->children.empty())
            return !walk->pending.empty();
        const QModelIndex index = model.indexOf(item);
        if (expand) {
            // With a layout pending the view only notes each expansion; laid out at once, every
            // expand would shift all the rows below it.
            view.deferLayout();
            view.expand(index);
        } else {
            // Top down: once a parent is collapsed its descendants are out of the layout and
            // collapse without moving any row.
            view.collapse(index);
        }
        for (auto it = item->children.rbegin(); it != item->children.rend(); ++it)
            walk->pending.push_back((*it)->id);
        return true;
    };
    auto percent = [walk, total] { return int(std::min<size_t>(99, walk->visited * 100 / total)); };
    auto* work = new SlicedWork(
        owner, expand ? QStringLiteral("Expanding the tree...") : QStringLiteral("Collapsing the tree..."),
        step, percent);
    work->start();
    return work;
}

} // namespace lurvik
