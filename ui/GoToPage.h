#pragma once

#include "SiteTreeModel.h"

#include <QString>

namespace lurvik {

// Go To Page's search: the tree walked in the order it is shown (an item, its children, then its
// next sibling), from the item after `from` down to the last or, going up, from the one before it
// up to the first. It never wraps round. With the root or nothing as `from`, every item is a
// candidate, from the first one in the walk's direction. An item matches when the text the tree
// shows for it contains text, with Str::find's whole-word and case rules. Null when none does.
SiteTreeModel::Item* findPageTitle(const SiteTreeModel& model, const SiteTreeModel::Item* from,
                                   const QString& text, bool matchCase, bool wholeWord, bool down);

} // namespace lurvik
